#include "CPort/platform/PosixHandles.h"

#include <mutex>
#include <vector>

namespace ComPlatform::Posix {

namespace {

// A handle is a slot of the table and the slot's generation, which counts its uses: a slot
// is used again, its number never. Handles start well away from 0 and the invalid value and
// step by 4 like the handles the layer above knows from elsewhere, so a handle is never
// mistaken for a small integer.
constexpr std::uintptr_t FirstHandle = 0x1000;
constexpr unsigned SlotBits = 20;  // a million objects at a time
constexpr std::uintptr_t SlotMask = (std::uintptr_t{1} << SlotBits) - 1;

struct TSlot {
  std::uintptr_t Generation = 0;
  std::shared_ptr<TObject> Object;
};

struct THandleTable {
  std::mutex Lock;
  std::vector<TSlot> Slots;
  std::vector<std::uint32_t> Free;

  // The slot a handle names while its object is there, else nullptr. Under the lock.
  TSlot* Slot(HANDLE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < FirstHandle || (value - FirstHandle) % 4 != 0) return nullptr;
    const std::uintptr_t key = (value - FirstHandle) / 4;
    const std::uintptr_t index = key & SlotMask;
    if (index >= Slots.size()) return nullptr;
    TSlot& slot = Slots[index];
    return slot.Object && slot.Generation == key >> SlotBits ? &slot : nullptr;
  }
};

// Never destroyed: a thread may still complete an operation of a device open at exit, and
// so look up its event, while static objects are being torn down.
THandleTable& Table() {
  static THandleTable* table = new THandleTable;
  return *table;
}

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

HANDLE AddHandle(std::shared_ptr<TObject> object) {
  THandleTable& table = Table();
  std::lock_guard guard(table.Lock);
  std::uintptr_t index;
  if (!table.Free.empty()) {
    index = table.Free.back();
    table.Free.pop_back();
  } else {
    if (table.Slots.size() > SlotMask) return INVALID_HANDLE_VALUE;
    index = table.Slots.size();
    table.Slots.emplace_back();
  }
  TSlot& slot = table.Slots[index];
  ++slot.Generation;
  slot.Object = std::move(object);
  return reinterpret_cast<HANDLE>(FirstHandle + 4 * (slot.Generation << SlotBits | index));
}

std::shared_ptr<TObject> RemoveHandle(HANDLE handle) {
  THandleTable& table = Table();
  std::lock_guard guard(table.Lock);
  TSlot* slot = table.Slot(handle);
  if (!slot) return nullptr;
  table.Free.push_back(static_cast<std::uint32_t>(slot - table.Slots.data()));
  return std::move(slot->Object);
}

std::shared_ptr<TObject> FindHandle(HANDLE handle) {
  THandleTable& table = Table();
  std::lock_guard guard(table.Lock);
  TSlot* slot = table.Slot(handle);
  return slot ? slot->Object : nullptr;
}

DWORD LastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

}  // namespace ComPlatform::Posix
