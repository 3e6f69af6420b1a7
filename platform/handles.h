#pragma once
// Move-only owners of Win32 handles; each knows its empty value and its release call.
#include <windows.h>
#include <winsvc.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  Type Get() const { return value_; }
  bool Valid() const { return value_ != Traits::Empty(); }
  explicit operator bool() const { return Valid(); }

  // Releases the current handle and takes the given one; false when the release failed.
  bool Reset(Type value = Traits::Empty()) {
    bool ok = true;
    if (Valid()) ok = Traits::Close(value_);
    value_ = value;
    return ok;
  }
  Type Release() { return std::exchange(value_, Traits::Empty()); }
  // For out-parameters of API calls: the current handle is released first.
  Type* Put() {
    Reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Empty();
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct FileHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(Type h) { return CloseHandle(h) != 0; }
};
struct KernelHandleTraits {  // process, thread, snapshot, event: NULL when empty
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return CloseHandle(h) != 0; }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static bool Close(Type h) { return FindClose(h) != 0; }
};
struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return DeleteObject(h) != 0; }
};
struct MemoryDcTraits {
  using Type = HDC;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return DeleteDC(h) != 0; }
};
struct ServiceHandleTraits {  // Service Control Manager and service handles
  using Type = SC_HANDLE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return CloseServiceHandle(h) != 0; }
};
struct WindowTraits {
  using Type = HWND;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return DestroyWindow(h) != 0; }
};
struct PrivateNamespaceTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) { return ClosePrivateNamespace(h, 0) != 0; }
};
struct BoundaryDescriptorTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static bool Close(Type h) {
    DeleteBoundaryDescriptor(h);
    return true;
  }
};

using UniqueHKey = UniqueHandle<RegKeyTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniquePrivateNamespace = UniqueHandle<PrivateNamespaceTraits>;
using UniqueBoundaryDescriptor = UniqueHandle<BoundaryDescriptorTraits>;

// A DC obtained with GetDC, handed back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() { SelectObject(dc_, previous_); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
