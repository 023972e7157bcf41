// A scripted Windows object namespace for the named object lock: events
// with their security descriptors and open handles (the last handle's close
// removes one), names held by objects of another kind, a session that may
// not make objects in Global\ or none anywhere, and the running program's
// id and session. Plain function pointers reach it through the one current
// instance. Before each call a hook may run another program's calls, so a
// test can lay out any interleaving of two programs.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/named_object_lock.h"

namespace rtd::test {

struct ScriptedObjects {
  static inline ScriptedObjects* current = nullptr;

  struct NamedObject {
    std::vector<uint8_t> security;
    int handles = 0;
  };
  std::map<std::u16string, NamedObject> objects;
  std::set<std::u16string> other_kind;
  bool global_refused = false;
  bool objects_fail = false;
  uint32_t process_id = 4711;
  uint32_t session_id = 1;
  // Runs before every create and open with the call ("create" or "open")
  // and the object's name.
  std::function<void(const std::string& call, const std::u16string& name)> before_call;

  ScriptedObjects() { current = this; }
  ~ScriptedObjects() { current = nullptr; }
  ScriptedObjects(const ScriptedObjects&) = delete;
  ScriptedObjects& operator=(const ScriptedObjects&) = delete;

  static void Before(const char* call, const char16_t* name) {
    if (current->before_call) current->before_call(call, name);
  }

  static NamedObjectFunctions ObjectFunctions() {
    NamedObjectFunctions f;
    f.CreateEventExW = [](const char16_t* name, const std::vector<uint8_t>& security,
                          bool* existed, uint32_t* error) -> WinHandle {
      Before("create", name);
      ScriptedObjects& w = *current;
      *existed = false;
      if (w.objects_fail) return *error = 1450, nullptr;  // ERROR_NO_SYSTEM_RESOURCES
      if (w.other_kind.count(name) != 0) return *error = 6, nullptr;  // ERROR_INVALID_HANDLE
      *existed = w.objects.count(name) != 0;
      if (!*existed && w.global_refused && std::u16string(name).rfind(u"Global\\", 0) == 0)
        return *error = 5, nullptr;  // ERROR_ACCESS_DENIED
      NamedObject& object = w.objects[name];
      if (!*existed) object.security = security;
      ++object.handles;
      return &*w.objects.find(name);
    };
    f.OpenEventW = [](const char16_t* name, uint32_t* error) -> WinHandle {
      Before("open", name);
      ScriptedObjects& w = *current;
      if (w.other_kind.count(name) != 0) return *error = 6, nullptr;
      const auto found = w.objects.find(name);
      if (found == w.objects.end()) return *error = 2, nullptr;  // ERROR_FILE_NOT_FOUND
      ++found->second.handles;
      return &*found;
    };
    f.GetKernelObjectSecurity = [](WinHandle object) {
      return static_cast<std::pair<const std::u16string, NamedObject>*>(object)->second.security;
    };
    f.CloseHandle = [](WinHandle object) -> int32_t {
      auto* entry = static_cast<std::pair<const std::u16string, NamedObject>*>(object);
      if (--entry->second.handles == 0) current->objects.erase(entry->first);
      return 1;
    };
    f.GetCurrentProcessId = [] { return current->process_id; };
    f.CurrentSessionId = [] { return current->session_id; };
    f.ProgramName = [] { return std::string("rtdprog.exe"); };
    f.ErrorText = [](uint32_t code) { return "system error " + std::to_string(code); };
    return f;
  }
};

}  // namespace rtd::test
