#pragma once
#include <memory>

#include "CPort/platform/SerialPlatform.h"

// Handles of the POSIX backend: every device and every event is an object in one table,
// named by a number that is never reused, so a stale handle fails instead of reaching a
// newer object. A call holds its own reference, so closing a handle while another thread
// is inside a call on it is safe.
namespace ComPlatform::Posix {

class TObject {
public:
  enum class TKind { Device, Event };
  explicit TObject(TKind kind) : FKind(kind) {}
  virtual ~TObject() = default;
  TKind Kind() const { return FKind; }

private:
  const TKind FKind;
};

HANDLE AddHandle(std::shared_ptr<TObject> object);
// Takes the object out of the table; nullptr when the handle names nothing.
std::shared_ptr<TObject> RemoveHandle(HANDLE handle);
std::shared_ptr<TObject> FindHandle(HANDLE handle);

// The object of a handle when it is of kind T (a device or an event), else nullptr.
template <typename T>
std::shared_ptr<T> Find(HANDLE handle) {
  std::shared_ptr<TObject> object = FindHandle(handle);
  if (!object || object->Kind() != T::ObjectKind) return nullptr;
  return std::static_pointer_cast<T>(std::move(object));
}

// The error code of the last failed call, kept per thread as the layer above expects.
DWORD LastError();
void SetLastError(DWORD code);

// Sets the calling thread's error code and returns false, for "return Fail(code);".
inline bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

}  // namespace ComPlatform::Posix
