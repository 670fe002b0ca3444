#include "platform/win32/win32_services.h"

#include <windows.h>

#include <wbemidl.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/failure.h"
#include "platform/win32/management_thread.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

UniqueBstr MakeBstr(const std::string& text) {
  UniqueBstr bstr(::SysAllocString(Widen(text).c_str()));
  if (!bstr) throw Failure("Out of memory");
  return bstr;
}

// A VARIANT cleared on every path.
class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  ~Variant() { ::VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &value_; }

 private:
  VARIANT value_;
};

// A property as text, or the failure of turning it into text.
struct Property {
  std::wstring name;
  std::optional<std::string> text;
  std::optional<Failure> failure;
};

// Every property of an object, read where the object lives. A failure to
// walk them all is kept for the properties not read by then, as their Get
// would have failed.
struct ObjectText {
  std::vector<Property> properties;
  std::optional<Failure> unreadable;
};

Property ReadProperty(BSTR name, VARIANT& value) {
  Property property{name ? std::wstring(name, ::SysStringLen(name)) : std::wstring(), std::nullopt, std::nullopt};
  if (value.vt == VT_NULL || value.vt == VT_EMPTY) return property;
  try {
    if (value.vt != VT_BSTR) ThrowIfFailedHr("VariantChangeType", ::VariantChangeType(&value, &value, 0, VT_BSTR));
    property.text = Narrow(std::wstring_view(value.bstrVal, ::SysStringLen(value.bstrVal)));
  } catch (const Failure& failure) {
    property.failure = failure;
  }
  return property;
}

ObjectText ReadObject(IWbemClassObject& object) {
  ObjectText read;
  try {
    ThrowIfFailedHr("IWbemClassObject::BeginEnumeration", object.BeginEnumeration(0));
    for (;;) {
      UniqueBstr name;
      Variant value;
      const HRESULT result = object.Next(0, name.put(), value.get(), nullptr, nullptr);
      ThrowIfFailedHr("IWbemClassObject::Next", result);
      if (result == WBEM_S_NO_MORE_DATA) break;
      read.properties.push_back(ReadProperty(name.get(), *value.get()));
    }
    object.EndEnumeration();
  } catch (const Failure& failure) {
    read.unreadable = failure;
  }
  return read;
}

class Win32ManagementObject final : public ManagementObject {
 public:
  explicit Win32ManagementObject(ObjectText read) : read_(std::move(read)) {}

  // Property names are matched without regard to case, as Get matches them.
  std::optional<std::string> Text(const std::string& property) override {
    const std::wstring wanted = Widen(property);
    for (const Property& held : read_.properties) {
      if (::CompareStringOrdinal(held.name.c_str(), -1, wanted.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
      if (held.failure) throw *held.failure;
      return held.text;
    }
    if (read_.unreadable) throw *read_.unreadable;
    ThrowIfFailedHr("IWbemClassObject::Get", static_cast<HRESULT>(WBEM_E_NOT_FOUND));
    return std::nullopt;
  }

 private:
  ObjectText read_;
};

using HeldObjects = HeldThere<ComPtr<IEnumWbemClassObject>>;
using HeldServices = HeldThere<ComPtr<IWbemServices>>;

class Win32ManagementQuery final : public ManagementQuery {
 public:
  explicit Win32ManagementQuery(HeldObjects objects) : objects_(std::move(objects)) {}

  // Each object is read whole on the management thread, the window
  // answering while it waits. A management service that stops answering
  // would hold the walk for ever (an unattended console run too): a minute
  // for one service is a failure.
  std::unique_ptr<ManagementObject> Next(EventPump& waiting) override {
    auto read = std::make_shared<std::optional<ObjectText>>();
    objects_.thread()->Call(
        [held = objects_.get(), read] {
          constexpr LONG kPatience = 60000;
          ComPtr<IWbemClassObject> object;
          ULONG returned = 0;
          const HRESULT result = held->get()->Next(kPatience, 1, object.put(), &returned);
          ThrowIfFailedHr("IEnumWbemClassObject::Next", result);
          if (returned != 0) {
            *read = ReadObject(*object.get());
          } else if (result == WBEM_S_TIMEDOUT) {
            throw Failure("The management service did not answer for a minute");
          }
        },
        waiting);
    if (!*read) return nullptr;
    return std::make_unique<Win32ManagementObject>(std::move(**read));
  }

 private:
  HeldObjects objects_;
};

class Win32ManagementNamespace final : public ManagementNamespace {
 public:
  explicit Win32ManagementNamespace(HeldServices services) : services_(std::move(services)) {}

  // Asks for the objects to come as the service finds them; Wine's service
  // finds them all before it returns.
  std::unique_ptr<ManagementQuery> ExecQuery(const std::string& wql, EventPump& waiting) override {
    HeldObjects objects(services_.thread());
    services_.thread()->Call(
        [services = services_.get(), held = objects.get(), wql] {
          ThrowIfFailedHr("IWbemServices::ExecQuery",
                          services->get()->ExecQuery(MakeBstr("WQL").get(), MakeBstr(wql).get(),
                                                     WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                                     held->put()));
        },
        waiting);
    return std::make_unique<Win32ManagementQuery>(std::move(objects));
  }

 private:
  HeldServices services_;
};

}  // namespace

Win32Services::Win32Services() = default;
Win32Services::~Win32Services() = default;

std::unique_ptr<ManagementNamespace> Win32Services::ConnectManagement(const std::string& path, EventPump& waiting) {
  // A thread held up in a call given up on is left to it; a new one serves.
  if (!management_ || management_->GaveUp()) management_ = std::make_shared<ManagementThread>();
  HeldServices services(management_);
  management_->Call(
      [held = services.get(), path] {
        ComPtr<IWbemLocator> locator;
        ThrowIfFailedHr("CoCreateInstance(WbemLocator)",
                        ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                           reinterpret_cast<void**>(locator.put())));
        ThrowIfFailedHr("IWbemLocator::ConnectServer",
                        locator.get()->ConnectServer(MakeBstr(path).get(), nullptr, nullptr, nullptr, 0, nullptr,
                                                     nullptr, held->put()));
        // The caller's own identity, as a script's moniker would use it.
        ThrowIfFailedHr("CoSetProxyBlanket",
                        ::CoSetProxyBlanket(held->get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                            RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
      },
      waiting);
  return std::make_unique<Win32ManagementNamespace>(std::move(services));
}

namespace {

// The answer of a two-call query into a buffer that grows to the size the
// system asks for; false with the system's error when it failed otherwise.
template <class Query>
bool QueryGrowing(std::vector<BYTE>& buffer, DWORD& error, Query&& query) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD needed = 0;
    if (query(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) return true;
    error = ::GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
    buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
  }
  return false;
}

std::string Text(const wchar_t* text) { return text ? Narrow(text) : std::string(); }

}  // namespace

std::vector<ServiceConfig> Win32Services::ListServiceConfigs(std::vector<ServiceFault>& faults) {
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) ThrowLastError("OpenSCManagerW");
  std::vector<ServiceConfig> configs;
  std::vector<BYTE> listing(64 * 1024);
  DWORD resume = 0;
  for (bool more = true; more;) {
    DWORD needed = 0, returned = 0;
    more = false;
    if (!::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER,
                                 SERVICE_STATE_ALL, listing.data(), static_cast<DWORD>(listing.size()), &needed,
                                 &returned, &resume, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_MORE_DATA) throw Win32Failure("EnumServicesStatusExW", error);
      more = true;
      if (returned == 0) listing.resize(std::max<std::size_t>(needed, listing.size() * 2));
    }
    const auto* listed = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(listing.data());
    for (DWORD i = 0; i < returned; ++i) {
      ServiceConfig config;
      config.name = Text(listed[i].lpServiceName);
      config.displayName = Text(listed[i].lpDisplayName);
      config.type = listed[i].ServiceStatusProcess.dwServiceType;
      config.state = listed[i].ServiceStatusProcess.dwCurrentState;
      UniqueScHandle opened(::OpenServiceW(manager.get(), listed[i].lpServiceName, SERVICE_QUERY_CONFIG));
      DWORD error = opened ? ERROR_SUCCESS : ::GetLastError();
      std::vector<BYTE> buffer(8 * 1024);
      if (opened && QueryGrowing(buffer, error, [&](BYTE* data, DWORD size, DWORD* needed) {
            return ::QueryServiceConfigW(opened.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data), size, needed);
          })) {
        const auto* query = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
        config.configRead = true;
        config.startType = query->dwStartType;
        config.binaryPath = Text(query->lpBinaryPathName);
        // The description and the delayed start are extras: a service without them is as listed.
        DWORD ignored = 0;
        if (QueryGrowing(buffer, ignored, [&](BYTE* data, DWORD size, DWORD* needed) {
              return ::QueryServiceConfig2W(opened.get(), SERVICE_CONFIG_DESCRIPTION, data, size, needed);
            })) {
          config.description = Text(reinterpret_cast<const SERVICE_DESCRIPTIONW*>(buffer.data())->lpDescription);
        }
        if (QueryGrowing(buffer, ignored, [&](BYTE* data, DWORD size, DWORD* needed) {
              return ::QueryServiceConfig2W(opened.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, data, size, needed);
            })) {
          config.delayed =
              reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO*>(buffer.data())->fDelayedAutostart != FALSE;
        }
      } else if (error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_SERVICE_MARKED_FOR_DELETE) {
        continue;  // gone since it was listed
      } else if (error != ERROR_ACCESS_DENIED) {
        faults.push_back({config.name, SystemMessage(error)});
        continue;
      }
      configs.push_back(std::move(config));
    }
  }
  return configs;
}

std::uint32_t Win32Services::StopService(const std::string& name) {
  const std::wstring serviceName = Widen(name);
  UniqueScHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  UniqueScHandle service(::OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_STOP));
  if (!service) return 0;
  SERVICE_STATUS status{};
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != 1) return 0;
  return status.dwCurrentState;
}

}  // namespace vq::win32
