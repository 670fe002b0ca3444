#include "platform/win32/win32_task_scheduler.h"

#include <windows.h>

#include <taskschd.h>

#include "platform/failure.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_failure.h"

namespace vq::win32 {

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string Counted(BSTR text) {
  return text ? std::u16string(text, text + ::SysStringLen(text)) : std::u16string();
}

UniqueBstr MakeBstr(std::u16string_view text) {
  const std::wstring wide = Wide(text);
  UniqueBstr bstr(::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
  if (!bstr) throw Failure("Out of memory");
  return bstr;
}

VARIANT Index(LONG index) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = index;
  return value;
}

bool IsMissing(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

bool IsNotImplemented(HRESULT result) { return result == E_NOTIMPL; }

class Win32TaskService final : public TaskService {
 public:
  explicit Win32TaskService(ComPtr<ITaskService> service) : service_(std::move(service)) {}

  std::vector<std::u16string> SubFolders(std::u16string_view folder, EventPump& waiting) override {
    std::vector<std::u16string> names;
    ComPtr<ITaskFolder> opened = Folder(folder);
    if (!opened) return names;
    ComPtr<ITaskFolderCollection> below;
    ThrowIfFailedHr("ITaskFolder::GetFolders", opened.get()->GetFolders(0, below.put()));
    LONG count = 0;
    const HRESULT counted = below.get()->get_Count(&count);
    if (IsNotImplemented(counted)) return names;  // the store's folders stand in
    ThrowIfFailedHr("ITaskFolderCollection::get_Count", counted);
    for (LONG i = 1; i <= count; ++i) {
      waiting.KeepAnswering();
      ComPtr<ITaskFolder> item;
      ThrowIfFailedHr("ITaskFolderCollection::get_Item", below.get()->get_Item(Index(i), item.put()));
      UniqueBstr name;
      ThrowIfFailedHr("ITaskFolder::get_Name", item.get()->get_Name(name.put()));
      names.push_back(Counted(name.get()));
    }
    return names;
  }

  std::optional<std::vector<ListedTask>> Tasks(std::u16string_view folder, EventPump& waiting) override {
    std::vector<ListedTask> tasks;
    ComPtr<ITaskFolder> opened = Folder(folder);
    if (!opened) return tasks;
    ComPtr<IRegisteredTaskCollection> listed;
    const HRESULT got = opened.get()->GetTasks(TASK_ENUM_HIDDEN, listed.put());
    if (IsNotImplemented(got)) return std::nullopt;
    ThrowIfFailedHr("ITaskFolder::GetTasks", got);
    LONG count = 0;
    const HRESULT counted = listed.get()->get_Count(&count);
    if (IsNotImplemented(counted)) return std::nullopt;
    ThrowIfFailedHr("IRegisteredTaskCollection::get_Count", counted);
    for (LONG i = 1; i <= count; ++i) {
      waiting.KeepAnswering();
      // A task whose registration cannot be read hides none of its
      // siblings: it is left to the store's listing.
      ComPtr<IRegisteredTask> task;
      UniqueBstr name;
      if (FAILED(listed.get()->get_Item(Index(i), task.put())) || FAILED(task.get()->get_Name(name.put()))) continue;
      tasks.push_back({Counted(name.get()), XmlOf(*task.get()).value_or("")});
    }
    return tasks;
  }

  std::optional<std::string> TaskXml(const TaskPath& path) override {
    ComPtr<ITaskFolder> folder;
    ComPtr<IRegisteredTask> task;
    try {
      folder = Folder(path.folder);
    } catch (const Failure&) {
      return std::nullopt;
    }
    if (!folder || FAILED(folder.get()->GetTask(MakeBstr(path.name).get(), task.put()))) return std::nullopt;
    return XmlOf(*task.get());
  }

  bool DeleteTask(const TaskPath& path) override {
    ComPtr<ITaskFolder> folder;
    try {
      folder = Folder(path.folder);
    } catch (const Failure&) {
      return false;
    }
    if (!folder) return false;
    // The scheduler resolves a name by its own rules (case across all of
    // Unicode, trailing dots and blanks) and deletes a folder too: only a
    // task whose own path is exactly this one goes.
    const UniqueBstr name = MakeBstr(path.name);
    ComPtr<IRegisteredTask> task;
    UniqueBstr found;
    if (FAILED(folder.get()->GetTask(name.get(), task.put())) || FAILED(task.get()->get_Path(found.put())) ||
        Counted(found.get()) != path.Full()) {
      return false;
    }
    return SUCCEEDED(folder.get()->DeleteTask(name.get(), 0));
  }

 private:
  // The folder of this path; null when there is none.
  ComPtr<ITaskFolder> Folder(std::u16string_view path) {
    ComPtr<ITaskFolder> folder;
    const HRESULT result = service_.get()->GetFolder(MakeBstr(path).get(), folder.put());
    if (IsMissing(result)) return {};
    ThrowIfFailedHr("ITaskService::GetFolder", result);
    return folder;
  }

  static std::optional<std::string> XmlOf(IRegisteredTask& task) {
    UniqueBstr xml;
    if (FAILED(task.get_Xml(xml.put())) || !xml) return std::nullopt;
    return Narrow(std::wstring_view(xml.get(), ::SysStringLen(xml.get())));
  }

  ComPtr<ITaskService> service_;
};

}  // namespace

std::unique_ptr<TaskService> Win32TaskScheduler::Connect() {
  ComPtr<ITaskService> service;
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                reinterpret_cast<void**>(service.put())))) {
    return nullptr;
  }
  VARIANT none;
  ::VariantInit(&none);
  // The local computer, as the running user.
  if (FAILED(service.get()->Connect(none, none, none, none))) return nullptr;
  return std::make_unique<Win32TaskService>(std::move(service));
}

}  // namespace vq::win32
