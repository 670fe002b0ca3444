#include "platform/win32/win32_services.h"

#include <windows.h>

#include <wbemidl.h>

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

  // A management service that stops answering would hold the program for
  // ever (an unattended console run too): a minute for one service is a failure.
  std::unique_ptr<ManagementObject> Next() override {
    constexpr LONG kPatience = 60000;
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT result = objects_.get()->Next(kPatience, 1, object.put(), &returned);
    ThrowIfFailedHr("IEnumWbemClassObject::Next", result);
    if (result == WBEM_S_TIMEDOUT) throw Failure("The management service did not answer for a minute");
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
