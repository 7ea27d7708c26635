// Construction, initialisation and destruction of the camera object, its
// errors and messages, and the small members behind camera selection.
#include "core/camera_object.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "quvex_platform/clock.h"
#include "quvex_platform/text.h"

namespace quvex {

CQuvex::CQuvex(const BuildProfile& profile, std::unique_ptr<DeviceBinding> device)
    : profile_(profile),
      device_(device ? std::move(device) : std::make_unique<NoDevice>()),
      tableA_(profile.interpolation, profile.lookupSpan),
      tableB_(profile.interpolation, profile.lookupSpan),
      ringSlots_(profile.ringSlots),
      rateTime_(platform::TickCount()) {
  BuildPalette360(palette_.data());
  device_->SetErrorReporter([this](int code) { PushError(code); });
}

CQuvex::~CQuvex() {
  // Stops capture and joins the capture thread before anything it uses goes.
  std::lock_guard control(controlMutex_);
  StopCapture();
}

int CQuvex::Initialize(QuvexHwnd window) {
  if (profile_.hasCpuInfo) GetCpuInfo(&cpuInfo_);
  displayImage_.reset(new (std::nothrow) CDibImage);
  ring_.Resize(ringSlots_);
  SetWindow(window);
  if (!displayImage_) return PushError(QUVEX_ERR_BUFFER), 0;
  // A single table arrives with the first application of the range mode.
  if (profile_.tables == TableSet::RangePair) {
    tableA_.Load(QUVEX_TBL_LOW, profile_.module, u"TBL", 0);
    tableB_.Load(QUVEX_TBL_HIGH, profile_.module, u"TBL", 0);
    tableA_.UpdateLut();
    tableB_.UpdateLut();
  }
  device_->Initialized();
  return 1;
}

int CQuvex::PushError(int code) {
  errors_.Push(code);
  if (const QuvexHwnd window = Window()) QuvexWindow_Post(window, WM_QUVEX_ERROR, 0, code);
  return 1;
}

int CQuvex::GetLastError() { return errors_.Pop(); }

bool CQuvex::DeviceCheck() {
  if (device_->HasDevice()) return true;
  PushError(QUVEX_ERR_NOT_READY);
  return false;
}

int CQuvex::SetCameraNumber(int index) {
  std::lock_guard control(controlMutex_);
  if (!profile_.behaviour.selectsCameraByNumber) return 1;
  if (!DeviceCheck()) return 0;
  // A device whose ring is in use while capturing refuses a camera change
  // until Quvex_Close.
  if (captureState_.load() == 1 && profile_.behaviour.refusesSelectionDuringCapture) {
    return PushError(QUVEX_ERR_NOT_READY), 0;
  }
  const int error = device_->SelectCamera(index);
  if (error != 0) return PushError(error), 0;
  return 1;
}

std::u16string CQuvex::CameraName(int index) const {
  char digits[16];
  std::snprintf(digits, sizeof digits, "_%02d", index + 1);
  std::u16string text = profile_.cameraNameStem;
  for (const char* c = digits; *c != 0; ++c) text += static_cast<char16_t>(*c);
  return text;
}

int CQuvex::CameraNameSize(int index) const {
  if (profile_.behaviour.namesAnyIndex) return static_cast<int>(CameraName(index).size()) + 1;
  // The name is stem, '_' and two digits; one unit more than the name and its
  // terminator is required.
  return static_cast<int>(platform::Utf16Length(profile_.cameraNameStem)) + 5;
}

int CQuvex::IsCameraEnable(int index, char16_t* name, int size) {
  if (!DeviceCheck()) return 0;
  if (!profile_.behaviour.enumeratesCameras) return PushError(QUVEX_ERR_NOT_READY), 0;
  if (name == nullptr || size < CameraNameSize(index)) return PushError(QUVEX_ERR_ARGUMENT), 0;
  if (!profile_.behaviour.namesAnyIndex) {
    if (index < 0 || index >= device_->MaxCameras()) return PushError(QUVEX_ERR_ARGUMENT), 0;
    if (!device_->IsCameraPresent(index)) return 0;
  }
  const std::u16string text = CameraName(index);
  text.copy(name, text.size());
  name[text.size()] = 0;
  return 1;
}

int CQuvex::IsCameraEnableA(int index, char* name, int size) {
  // Checked before anything is allocated: a null buffer or a size below what
  // any name needs is refused at once.
  if (!DeviceCheck()) return 0;
  if (!profile_.behaviour.enumeratesCameras) return PushError(QUVEX_ERR_NOT_READY), 0;
  const int required = CameraNameSize(index);
  if (name == nullptr || size < required) return PushError(QUVEX_ERR_ARGUMENT), 0;
  // The wide name is sized from the name, never from the caller's size.
  std::vector<char16_t> wide(static_cast<size_t>(required), 0);
  const int result = IsCameraEnable(index, wide.data(), required);
  if (result == 0) return 0;
  const auto narrow = platform::Utf16ToUtf8(wide.data());
  if (!narrow || narrow->size() + 1 > static_cast<size_t>(size)) {
    return PushError(QUVEX_ERR_ARGUMENT), 0;
  }
  narrow->copy(name, narrow->size());
  name[narrow->size()] = 0;
  return result;
}

int CQuvex::SetCameraType(int type) {
  if (!profile_.behaviour.hasCameraTypes) return PushError(QUVEX_ERR_UNSUPPORTED), 0;
  return device_->SetCameraType(type);
}

int CQuvex::Start() {
  if (!DeviceCheck()) return 0;
  paused_.store(0);
  device_->Resume();
  return 1;
}

int CQuvex::Pause() {
  if (!DeviceCheck()) return 0;
  paused_.store(1);
  return 1;
}

int CQuvex::Nuc() {
  if (profile_.behaviour.nucReportsWrite) {
    nucTime_.store(platform::TickCount());
    return device_->WriteRegister(QUVEX_REG_NUC, 1);
  }
  device_->WriteRegister(QUVEX_REG_NUC, 1);
  nucTime_.store(platform::TickCount());
  return 1;
}

}  // namespace quvex
