// The table that routes the window's events, by control name, to the subsystems' handlers.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace ostrel::form {

struct EventHandlers {
    std::function<void()> click;
    std::function<void(int button)> mouseDown;  // any mouse button
    std::function<void()> mouseUp;
    std::function<void()> change;  // scroll bars; runs after the value has been set
};

class EventTable {
  public:
    void onClick(const std::string& name, std::function<void()> fn) {
        at(name).click = std::move(fn);
    }
    void onMouseDown(const std::string& name, std::function<void(int)> fn) {
        at(name).mouseDown = std::move(fn);
    }
    void onMouseUp(const std::string& name, std::function<void()> fn) {
        at(name).mouseUp = std::move(fn);
    }
    void onChange(const std::string& name, std::function<void()> fn) {
        at(name).change = std::move(fn);
    }
    const EventHandlers* find(std::string_view name) const {
        auto it = table_.find(std::string(name));
        return it == table_.end() ? nullptr : &it->second;
    }

  private:
    EventHandlers& at(const std::string& name) { return table_[name]; }
    std::map<std::string, EventHandlers> table_;
};

}  // namespace ostrel::form
