#include "platform/win32/win32_services.h"

#include <windows.h>

#include <wbemidl.h>

#include <algorithm>
#include <vector>

#include "platform/failure.h"
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

class Win32ManagementObject final : public ManagementObject {
 public:
  explicit Win32ManagementObject(ComPtr<IWbemClassObject> object) : object_(std::move(object)) {}

  std::optional<std::string> Text(const std::string& property) override {
    Variant value;
    ThrowIfFailedHr("IWbemClassObject::Get", object_.get()->Get(Widen(property).c_str(), 0, value.get(), nullptr, nullptr));
    if (value.get()->vt == VT_NULL || value.get()->vt == VT_EMPTY) return std::nullopt;
    if (value.get()->vt != VT_BSTR) {
      ThrowIfFailedHr("VariantChangeType", ::VariantChangeType(value.get(), value.get(), 0, VT_BSTR));
    }
    const BSTR text = value.get()->bstrVal;
    return Narrow(std::wstring_view(text, ::SysStringLen(text)));
  }

 private:
  ComPtr<IWbemClassObject> object_;
};

class Win32ManagementQuery final : public ManagementQuery {
 public:
  explicit Win32ManagementQuery(ComPtr<IEnumWbemClassObject> objects) : objects_(std::move(objects)) {}

  // The query returns at once and its objects arrive as the service finds
  // them: each is waited for in short spells, the window answering between
  // them. A management service that stops answering would hold the program
  // for ever (an unattended console run too): a minute for one service is a failure.
  std::unique_ptr<ManagementObject> Next(EventPump& waiting) override {
    constexpr LONG kSpell = 20, kPatience = 60000;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    for (LONG waited = 0;; waited += kSpell) {
      const HRESULT result = objects_.get()->Next(kSpell, 1, object.put(), &returned);
      ThrowIfFailedHr("IEnumWbemClassObject::Next", result);
      if (result != WBEM_S_TIMEDOUT || returned != 0) break;
      if (waited >= kPatience) throw Failure("The management service did not answer for a minute");
      waiting.DoEvents();
    }
    if (returned == 0) return nullptr;
    return std::make_unique<Win32ManagementObject>(std::move(object));
  }

 private:
  ComPtr<IEnumWbemClassObject> objects_;
};

class Win32ManagementNamespace final : public ManagementNamespace {
 public:
  explicit Win32ManagementNamespace(ComPtr<IWbemServices> services) : services_(std::move(services)) {}

  std::unique_ptr<ManagementQuery> ExecQuery(const std::string& wql) override {
    ComPtr<IEnumWbemClassObject> objects;
    ThrowIfFailedHr("IWbemServices::ExecQuery",
                    services_.get()->ExecQuery(MakeBstr("WQL").get(), MakeBstr(wql).get(),
                                               WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                               objects.put()));
    return std::make_unique<Win32ManagementQuery>(std::move(objects));
  }

 private:
  ComPtr<IWbemServices> services_;
};

}  // namespace

std::unique_ptr<ManagementNamespace> Win32Services::ConnectManagement(const std::string& path) {
  ComPtr<IWbemLocator> locator;
  ThrowIfFailedHr("CoCreateInstance(WbemLocator)",
                  ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                     reinterpret_cast<void**>(locator.put())));
  ComPtr<IWbemServices> services;
  ThrowIfFailedHr("IWbemLocator::ConnectServer", locator.get()->ConnectServer(MakeBstr(path).get(), nullptr, nullptr,
                                                                              nullptr, 0, nullptr, nullptr,
                                                                              services.put()));
  // The caller's own identity, as a script's moniker would use it.
  ThrowIfFailedHr("CoSetProxyBlanket",
                  ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
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
