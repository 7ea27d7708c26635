// The exported functions common to every library. Each looks its handle up in
// the registry and forwards to the camera object; nothing thrown inside ever
// reaches the host.
#include <new>

#include "core/deliverable.h"
#include "core/export_call.h"
#include "core/wide_string.h"

using quvex::CQuvex;
using quvex::CWideString;
using quvex::SdkChain;
using quvex::WithObject;

extern "C" {

QUVEX_API int Quvex_GetDllVersion(void) { return quvex::DeliverableProfile().versionValue; }

QUVEX_API int Quvex_Initialize(QuvexHwnd window) {
  try {
    const int handle = SdkChain().Create([] {
      return std::make_shared<CQuvex>(quvex::DeliverableProfile(), quvex::CreateDeviceBinding());
    });
    if (handle == 0) return 0;
    // A failed initialisation is reported on the object; the handle stays.
    WithObject(handle, 0, [window](CQuvex& q) { return q.Initialize(window); });
    return handle;
  } catch (...) {
    return 0;
  }
}

QUVEX_API int Quvex_Release(int handle) {
  try {
    auto object = SdkChain().Remove(handle);
    if (!object) return 0;
    object->Close();  // also ends a one-shot that another thread's call waits on
    object.reset();   // frees everything, unless a call still runs
    return 1;
  } catch (...) {
    return 0;
  }
}

QUVEX_API int Quvex_SetWindowHandle(int handle, QuvexHwnd window) {
  return WithObject(handle, 0, [window](CQuvex& q) { return q.SetWindow(window), 1; });
}

QUVEX_API int Quvex_SetCameraNumber(int handle, int cameraIndex) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.SetCameraNumber(cameraIndex); });
}

QUVEX_API int Quvex_IsCameraEnableA(int handle, int cameraIndex, char* name, int sizeInChars) {
  return WithObject(handle, 0,
                    [=](CQuvex& q) { return q.IsCameraEnableA(cameraIndex, name, sizeInChars); });
}

QUVEX_API int Quvex_IsCameraEnableW(int handle, int cameraIndex, char16_t* name, int sizeInChars) {
  return WithObject(handle, 0,
                    [=](CQuvex& q) { return q.IsCameraEnable(cameraIndex, name, sizeInChars); });
}

QUVEX_API int Quvex_SetCameraType(int handle, int cameraType) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.SetCameraType(cameraType); });
}

QUVEX_API int Quvex_Preview(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.Preview(); });
}

QUVEX_API int Quvex_Start(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.Start(); });
}

QUVEX_API int Quvex_Pause(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.Pause(); });
}

QUVEX_API int Quvex_OneShot(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.OneShot(); });
}

QUVEX_API int Quvex_Close(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.Close(); });
}

QUVEX_API int Quvex_Nuc(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.Nuc(); });
}

QUVEX_API int Quvex_GetNewID(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.GetNewID(); });
}

QUVEX_API int Quvex_GetRaw(int handle, int frameId, void* buffer, int size) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.GetRaw(frameId, buffer, size); });
}

QUVEX_API int Quvex_GetTemperature(int handle, int frameId, float* buffer, int size) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.GetTemperature(frameId, buffer, size); });
}

QUVEX_API int Quvex_GetColor(int handle, int frameId, void* buffer, int size) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.GetColor(frameId, buffer, size); });
}

QUVEX_API int Quvex_SaveA(int handle, const char* fileName, int saveType) {
  return WithObject(handle, 0, [=](CQuvex& q) {
    const CWideString name(fileName);
    return q.Save(name.Get(), saveType);
  });
}

QUVEX_API int Quvex_SaveW(int handle, const char16_t* fileName, int saveType) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.Save(fileName, saveType); });
}

QUVEX_API int Quvex_RecA(int handle, const char* fileName, int recordType) {
  return WithObject(handle, 0, [=](CQuvex& q) {
    const CWideString name(fileName);
    return q.Rec(name.Get(), recordType);
  });
}

QUVEX_API int Quvex_RecW(int handle, const char16_t* fileName, int recordType) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.Rec(fileName, recordType); });
}

QUVEX_API int Quvex_GetParam(int handle, int parameterId) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.GetParam(parameterId); });
}

QUVEX_API int Quvex_SetParam(int handle, int parameterId, int value) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.SetParam(parameterId, value); });
}

QUVEX_API int Quvex_SetTableA(int handle, const char* fileName) {
  return WithObject(handle, 0, [=](CQuvex& q) {
    const CWideString name(fileName);
    // A name that cannot be converted names no file; it is not "no name".
    if (name.Invalid()) return q.PushError(QUVEX_ERR_FILE), 0;
    return q.SetTable(name.Get());
  });
}

QUVEX_API int Quvex_SetTableW(int handle, const char16_t* fileName) {
  return WithObject(handle, 0, [=](CQuvex& q) { return q.SetTable(fileName); });
}

QUVEX_API int Quvex_GetLastError(int handle) {
  return WithObject(handle, 0, [](CQuvex& q) { return q.GetLastError(); });
}

}  // extern "C"
