// Loads one of the five libraries with dlopen and resolves its exports, so
// tests drive the real deliverables through their exported interface.
#pragma once

#include <dlfcn.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "quvex/quvex.h"
#include "tests/support/drain_errors.h"

namespace quvex::test {

// The libraries under test, in the order of the build's one list of them.
inline const std::vector<std::string> kLibraryNames = [] {
  std::vector<std::string> names;
  std::istringstream words(QUVEX_LIBRARIES);
  for (std::string name; words >> name;) names.push_back(name);
  return names;
}();

inline std::string LibraryPath(const std::string& name) {
  return std::string(QUVEX_LIBRARY_DIR) + "/lib" + name + ".so";
}

class QuvexLibrary {
 public:
  explicit QuvexLibrary(const std::string& name) : name_(name) {
    handle_ = dlopen(LibraryPath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(dlerror());
#define QUVEX_RESOLVE(fn) fn = Resolve<decltype(&::fn)>(#fn)
    QUVEX_RESOLVE(Quvex_GetDllVersion);
    QUVEX_RESOLVE(Quvex_Initialize);
    QUVEX_RESOLVE(Quvex_Release);
    QUVEX_RESOLVE(Quvex_SetWindowHandle);
    QUVEX_RESOLVE(Quvex_SetCameraNumber);
    QUVEX_RESOLVE(Quvex_IsCameraEnableA);
    QUVEX_RESOLVE(Quvex_IsCameraEnableW);
    QUVEX_RESOLVE(Quvex_SetCameraType);
    QUVEX_RESOLVE(Quvex_Preview);
    QUVEX_RESOLVE(Quvex_Start);
    QUVEX_RESOLVE(Quvex_Pause);
    QUVEX_RESOLVE(Quvex_OneShot);
    QUVEX_RESOLVE(Quvex_Close);
    QUVEX_RESOLVE(Quvex_Nuc);
    QUVEX_RESOLVE(Quvex_GetNewID);
    QUVEX_RESOLVE(Quvex_GetRaw);
    QUVEX_RESOLVE(Quvex_GetTemperature);
    QUVEX_RESOLVE(Quvex_GetColor);
    QUVEX_RESOLVE(Quvex_SaveA);
    QUVEX_RESOLVE(Quvex_SaveW);
    QUVEX_RESOLVE(Quvex_RecA);
    QUVEX_RESOLVE(Quvex_RecW);
    QUVEX_RESOLVE(Quvex_GetParam);
    QUVEX_RESOLVE(Quvex_SetParam);
    QUVEX_RESOLVE(Quvex_SetTableA);
    QUVEX_RESOLVE(Quvex_SetTableW);
    QUVEX_RESOLVE(Quvex_GetLastError);
#undef QUVEX_RESOLVE
  }
  QuvexLibrary(const QuvexLibrary&) = delete;
  QuvexLibrary& operator=(const QuvexLibrary&) = delete;
  ~QuvexLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }

  const std::string& Name() const { return name_; }
  // An export that only some builds have; null when this build lacks it.
  void* Optional(const char* symbol) const { return dlsym(handle_, symbol); }

  // Pops every error code, newest first.
  std::string DrainErrors(int handle) const {
    return DrainErrorCodes([&] { return Quvex_GetLastError(handle); });
  }

  decltype(&::Quvex_GetDllVersion) Quvex_GetDllVersion;
  decltype(&::Quvex_Initialize) Quvex_Initialize;
  decltype(&::Quvex_Release) Quvex_Release;
  decltype(&::Quvex_SetWindowHandle) Quvex_SetWindowHandle;
  decltype(&::Quvex_SetCameraNumber) Quvex_SetCameraNumber;
  decltype(&::Quvex_IsCameraEnableA) Quvex_IsCameraEnableA;
  decltype(&::Quvex_IsCameraEnableW) Quvex_IsCameraEnableW;
  decltype(&::Quvex_SetCameraType) Quvex_SetCameraType;
  decltype(&::Quvex_Preview) Quvex_Preview;
  decltype(&::Quvex_Start) Quvex_Start;
  decltype(&::Quvex_Pause) Quvex_Pause;
  decltype(&::Quvex_OneShot) Quvex_OneShot;
  decltype(&::Quvex_Close) Quvex_Close;
  decltype(&::Quvex_Nuc) Quvex_Nuc;
  decltype(&::Quvex_GetNewID) Quvex_GetNewID;
  decltype(&::Quvex_GetRaw) Quvex_GetRaw;
  decltype(&::Quvex_GetTemperature) Quvex_GetTemperature;
  decltype(&::Quvex_GetColor) Quvex_GetColor;
  decltype(&::Quvex_SaveA) Quvex_SaveA;
  decltype(&::Quvex_SaveW) Quvex_SaveW;
  decltype(&::Quvex_RecA) Quvex_RecA;
  decltype(&::Quvex_RecW) Quvex_RecW;
  decltype(&::Quvex_GetParam) Quvex_GetParam;
  decltype(&::Quvex_SetParam) Quvex_SetParam;
  decltype(&::Quvex_SetTableA) Quvex_SetTableA;
  decltype(&::Quvex_SetTableW) Quvex_SetTableW;
  decltype(&::Quvex_GetLastError) Quvex_GetLastError;

 private:
  template <class Fn>
  Fn Resolve(const char* symbol) {
    void* address = dlsym(handle_, symbol);
    if (address == nullptr) throw std::runtime_error(name_ + " lacks " + symbol);
    return reinterpret_cast<Fn>(address);
  }

  std::string name_;
  void* handle_ = nullptr;
};

}  // namespace quvex::test
