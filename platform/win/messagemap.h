#pragma once
// Message maps as tables: each class lists the messages it handles and the
// member that handles them; Dispatch walks the table, a class then chains to
// its base class's map.
#include <windows.h>

#include <initializer_list>
#include <vector>

namespace win {

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
};

template <class T>
class MessageMap {
public:
    // A handler answers true when it handled the message (result set).
    using Handler = bool (T::*)(Message&);
    struct Entry {
        UINT first, last;
        Handler handler;
    };
    MessageMap(std::initializer_list<Entry> entries) : entries_(entries) {}

    bool Dispatch(T* self, Message& m) const {
        for (const auto& e : entries_)
            if (m.msg >= e.first && m.msg <= e.last && (self->*e.handler)(m)) return true;
        return false;
    }

private:
    std::vector<Entry> entries_;
};

// One message, or a range of them.
template <class T>
typename MessageMap<T>::Entry On(UINT msg, typename MessageMap<T>::Handler h) {
    return {msg, msg, h};
}
template <class T>
typename MessageMap<T>::Entry OnRange(UINT first, UINT last, typename MessageMap<T>::Handler h) {
    return {first, last, h};
}

}  // namespace win
