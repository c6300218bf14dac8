// Objects behind handles. Each table hands out values from its own range and never reuses
// one, so a stale handle, or a handle of another kind, is simply not found.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

namespace morvala::win32 {

template <typename Handle, typename Object>
class HandleTable {
  public:
    explicit HandleTable(uintptr_t range) : next_(range << 32) {}

    Handle Add(Object object) {
        uintptr_t value = next_;
        next_ += 4;
        objects_.emplace(value, std::move(object));
        return reinterpret_cast<Handle>(value);
    }

    Object* Find(Handle handle) {
        auto found = objects_.find(reinterpret_cast<uintptr_t>(handle));
        return found == objects_.end() ? nullptr : &found->second;
    }

    void Remove(Handle handle) { objects_.erase(reinterpret_cast<uintptr_t>(handle)); }

    // In the order the objects were added.
    template <typename Visit>
    void ForEach(Visit visit) {
        for (auto& [value, object] : objects_) {
            visit(reinterpret_cast<Handle>(value), object);
        }
    }

  private:
    uintptr_t next_;
    std::map<uintptr_t, Object> objects_;
};

}  // namespace morvala::win32
