#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shtypes.h>
#include <wincrypt.h>
#include <bcrypt.h>
#include <mscat.h>

#include <utility>

namespace vq::win32 {

// Owns one handle of any kind and closes it exactly once, on every path.
// Close is the function that releases it; IsValid tells a real handle from
// the kind's empty values (null, or INVALID_HANDLE_VALUE for files and finds).
template <typename T>
bool IsNonNull(T value) {
  return value != T{};
}

template <typename T, void (*Close)(T), bool (*IsValid)(T) = &IsNonNull<T>>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T{}));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return IsValid(value_); }
  // For APIs that hand a new handle back through a pointer.
  T* put() {
    reset();
    return &value_;
  }
  void reset(T value = T{}) {
    if (IsValid(value_)) Close(value_);
    value_ = value;
  }

 private:
  T value_{};
};

inline bool IsRealHandle(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// The close functions, with the signature the template takes.
inline void CloseKey(HKEY key) { ::RegCloseKey(key); }
inline void CloseFile(HANDLE handle) { ::CloseHandle(handle); }
inline void CloseFind(HANDLE handle) { ::FindClose(handle); }
inline void CloseService(SC_HANDLE handle) { ::CloseServiceHandle(handle); }
inline void CloseCursor(HCURSOR cursor) { ::DestroyCursor(cursor); }
inline void CloseFont(HFONT font) { ::DeleteObject(font); }
inline void CloseBrush(HBRUSH brush) { ::DeleteObject(brush); }
inline void DestroyMenuHandle(HMENU menu) { ::DestroyMenu(menu); }
inline void FreeIdList(LPITEMIDLIST list) { ::CoTaskMemFree(list); }
inline void FreeBstr(BSTR text) { ::SysFreeString(text); }
inline void CloseHashProvider(BCRYPT_ALG_HANDLE provider) { ::BCryptCloseAlgorithmProvider(provider, 0); }
inline void DestroyHash(BCRYPT_HASH_HANDLE hash) { ::BCryptDestroyHash(hash); }
inline void ReleaseCatalogAdmin(HCATADMIN admin) { ::CryptCATAdminReleaseContext(admin, 0); }
template <typename I>
void ReleaseCom(I* pointer) {
  pointer->Release();
}

using UniqueHkey = UniqueHandle<HKEY, &CloseKey>;
using UniqueFileHandle = UniqueHandle<HANDLE, &CloseFile, &IsRealHandle>;
using UniqueFindHandle = UniqueHandle<HANDLE, &CloseFind, &IsRealHandle>;
using UniqueScHandle = UniqueHandle<SC_HANDLE, &CloseService>;
using UniqueCursor = UniqueHandle<HCURSOR, &CloseCursor>;
using UniqueFont = UniqueHandle<HFONT, &CloseFont>;
using UniqueBrush = UniqueHandle<HBRUSH, &CloseBrush>;
using UniqueMenu = UniqueHandle<HMENU, &DestroyMenuHandle>;
using UniqueIdList = UniqueHandle<LPITEMIDLIST, &FreeIdList>;
using UniqueBstr = UniqueHandle<BSTR, &FreeBstr>;
using UniqueHashProvider = UniqueHandle<BCRYPT_ALG_HANDLE, &CloseHashProvider>;
using UniqueHash = UniqueHandle<BCRYPT_HASH_HANDLE, &DestroyHash>;
using UniqueCatalogAdmin = UniqueHandle<HCATADMIN, &ReleaseCatalogAdmin>;

// A COM interface pointer, released once.
template <typename I>
using ComPtr = UniqueHandle<I*, &ReleaseCom<I>>;

// CoInitializeEx for the life of the object, undone only when it succeeded.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(::CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace vq::win32
