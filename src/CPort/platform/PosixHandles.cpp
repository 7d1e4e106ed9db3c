#include "CPort/platform/PosixHandles.h"

#include <mutex>
#include <unordered_map>

namespace ComPlatform::Posix {

namespace {

struct THandleTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<TObject>> objects;
  // Starts well away from 0 and the invalid value; steps by 4 like the handles the
  // layer above knows from elsewhere, so a handle is never mistaken for a small integer.
  std::uintptr_t next = 0x1000;
};

// Never destroyed: the helper thread of a device still open at exit may complete a
// transfer, and so look up its event, while static objects are being torn down.
THandleTable& Table() {
  static THandleTable* table = new THandleTable;
  return *table;
}

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

HANDLE AddHandle(std::shared_ptr<TObject> object) {
  THandleTable& table = Table();
  std::lock_guard guard(table.lock);
  std::uintptr_t key = table.next;
  table.next += 4;
  table.objects.emplace(key, std::move(object));
  return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<TObject> RemoveHandle(HANDLE handle) {
  THandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.objects.end()) return nullptr;
  std::shared_ptr<TObject> object = std::move(it->second);
  table.objects.erase(it);
  return object;
}

std::shared_ptr<TObject> FindHandle(HANDLE handle) {
  THandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

DWORD LastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

}  // namespace ComPlatform::Posix
