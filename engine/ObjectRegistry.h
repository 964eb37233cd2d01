#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine {

// Every live object of type T, for lookup by getId(). The registry holds no
// references: objects add themselves when made and remove themselves when
// destroyed.
template <typename T>
class ObjectRegistry {
public:
    static void add(T* item) { items().push_back(item); }
    static void remove(T* item) { items().erase(std::remove(items().begin(), items().end(), item), items().end()); }
    // The first object made with that id; null when none.
    static T* find(const char* id)
    {
        for (T* item : items()) {
            if (id && std::strcmp(item->getId(), id) == 0)
                return item;
        }
        return nullptr;
    }

private:
    static std::vector<T*>& items()
    {
        static std::vector<T*> registered;
        return registered;
    }
};

} // namespace engine
