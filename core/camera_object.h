// The camera object: one per handle of the exported interface. It owns the
// device binding, the temperature tables, the error stack and the settings the
// host reads and writes as parameters.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/device_binding.h"
#include "core/error_stack.h"
#include "core/frame_ring.h"
#include "core/palette.h"
#include "core/profile.h"
#include "core/recorder.h"
#include "core/temperature_table.h"
#include "imaging/cpu_info.h"
#include "imaging/dib_image.h"
#include "quvex/quvex.h"
#include "quvex_platform/sync.h"
#include "quvex_platform/thread.h"

namespace quvex {

class CQuvex {
 public:
  CQuvex(const BuildProfile& profile, std::unique_ptr<DeviceBinding> device);
  virtual ~CQuvex();
  CQuvex(const CQuvex&) = delete;
  CQuvex& operator=(const CQuvex&) = delete;

  int Initialize(QuvexHwnd window);

  // Errors and messages.
  int PushError(int code);
  int GetLastError();
  void SetWindow(QuvexHwnd window) { window_.store(window); }
  QuvexHwnd Window() const { return window_.load(); }

  // Parameters and registers.
  int GetParam(int id);
  int SetParam(int id, int value);
  int SetRegister7Flag(int flag);
  int SetRangeMode(int mode);

  // Camera selection and capture switches.
  int SetCameraNumber(int index);
  int IsCameraEnable(int index, char16_t* name, int size);
  int IsCameraEnableA(int index, char* name, int size);
  int SetCameraType(int type);
  int Start();
  int Pause();
  int Nuc();

  // Capture, frame access, saving and recording.
  int Preview();
  int Close();
  int StartCapture();
  int StopCapture();
  int OneShot();
  int GetNewID();
  int GetRaw(int frameId, void* buffer, int size);
  int GetColor(int frameId, void* buffer, int size);
  int GetTemperature(int frameId, float* buffer, int size);
  int Save(const char16_t* name, int saveType);
  int Rec(const char16_t* name, int recordType);

  // False colour: maps a 16-bit raw image into a 24-bit colour image of the same
  // size (raw row i becomes colour row H - 1 - i) and updates the auto-range.
  int MapRawToColor(const CDibImage& raw, CDibImage& colour);
  const Palette360& Palette() const { return palette_; }

  // Temperature tables and conversions of a 16-bit raw image.
  int SetTable(const char16_t* name);
  int ToTemperatureInt8(const CDibImage* raw, int8_t* out, int rowOrderFlag) const;
  int ToTemperatureUInt8(const CDibImage* raw, uint8_t* out, int rowOrderFlag) const;
  int ToTemperatureInt32(const CDibImage* raw, int32_t* out, int rowOrderFlag) const;
  int ToTemperatureFloat(const CDibImage* raw, float* out, int rowOrderFlag) const;
  // The table that serves the current range mode.
  const CTemperatureTable& ActiveTable() const;
  // true once a table file replaced the built-in tables of a single-table
  // camera object for good.
  bool UserTableLoaded() const;
  CTemperatureTable& TableA() { return tableA_; }
  CTemperatureTable& TableB() { return tableB_; }

  const BuildProfile& Profile() const { return profile_; }
  DeviceBinding& Device() { return *device_; }
  // Sets the device up and creates the images of every frame slot (also used
  // by bindings that connect to their camera); 1, or 0 with the error pushed.
  int AllocateRing();
  // Stops capture if it runs, then applies change (a binding reconnecting to
  // its camera) while no other host call can start capture; change's result.
  int WithCaptureStopped(const std::function<int()>& change);
  const CpuInfo& ProcessorRecord() const { return cpuInfo_; }
  uint32_t NucTime() const { return nucTime_.load(); }

 private:
  bool DeviceCheck();
  // Runs change under the control lock once the device has ended a one-shot
  // in progress on another thread; change's result.
  int Interrupting(const std::function<int()>& change);
  // A slot's pixels are written without its lock while a frame is read into
  // it: the fill makes its old frame unfindable first, and stamps frameId (0
  // for none) once the pixels are whole.
  void BeginFill(FrameSlot& slot);
  void EndFill(FrameSlot& slot, int frameId);
  // Locks the current slot, one that no frame is being read into.
  FrameSlot& LockCurrentSlot(std::unique_lock<std::mutex>& lock);
  // The camera name of index, and the buffer size (with terminator) it needs.
  std::u16string CameraName(int index) const;
  int CameraNameSize(int index) const;
  // The single-table flows: the built-in table of a range mode, and a file.
  void ReloadBuiltInTable(int mode);
  int SetSingleTable(const char16_t* name);
  bool CaptureCheck();
  // AllocateRing; for a one-shot it gives up, reporting nothing, as soon as
  // a host call interrupts it.
  int BuildRing(bool forOneShot);
  // The capture thread's start routine; a stop joins the thread once it
  // returns, which takes the place of an exit event.
  static void CaptureThreadProc(CQuvex& quvex) { quvex.CaptureLoop(); }
  void CaptureLoop();
  // Maps, stamps, publishes, records and announces the frame just read into
  // slot index (on the finisher's thread).
  void FinishFrame(int index);
  // Sleeps ms, or less when a stop begins.
  void Nap(uint32_t ms);
  void CountFrameForRate();
  // true while frames are skipped after a NUC.
  bool NucSettling();
  int CurrentIndex() const;
  void PublishIndex(int index);
  // Copies the frame of frameId into buffer under its slot's lock; 0 when the
  // frame is not (or no longer) in the ring.
  template <class Copy>
  int WithFrame(int frameId, Copy&& copy);
  // Recording: begun and ended by the capture thread, stepped by the finisher.
  struct RecordRequest {
    int type;
    std::u16string name;
  };
  RecordRequest SnapshotRecordRequest();
  int StartRecord(int type, const std::u16string& name);
  void RecordFrame(const FrameSlot& slot);
  void RecordFailed();
  int StopRecord(int type);
  void RecordBegin();
  void RecordStep(const FrameSlot& slot);
  void RecordEnd();
  // Converts the slot's raw image for a temperature save type, lets the slot
  // go and writes the file; 0, or the error code.
  int SaveTemperatures(const char16_t* name, FrameSlot& slot, std::unique_lock<std::mutex>& slotLock,
                       int saveType);

  const BuildProfile& profile_;
  CpuInfo cpuInfo_{};
  std::unique_ptr<DeviceBinding> device_;
  std::unique_ptr<CDibImage> displayImage_;
  Palette360 palette_{};
  CTemperatureTable tableA_;
  CTemperatureTable tableB_;
  // Orders the reloads of the single table with the loading of a file, so
  // that a file once loaded is never replaced by a built-in table.
  mutable std::mutex tableMutex_;
  bool userTable_ = false;  // under tableMutex_
  int builtInTable_ = 0;    // resource id the single table holds; under tableMutex_
  mutable platform::CriticalSection lock_;

  // Settings; atomic because the capture thread reads them while the host sets them.
  std::atomic<int> autoRangeCount_{-1};
  std::atomic<int> rangeHigh_{3000};
  std::atomic<int> rangeLow_{1000};
  std::atomic<int> captureState_{0};
  std::atomic<int> loopSleep_{10};
  std::atomic<uint32_t> nucTime_{0};
  std::atomic<int> nucSettle_{1000};
  int ringSlots_;
  std::atomic<int> switchFlag_{1};
  std::atomic<int> rangeMode_{0};
  std::atomic<int> paused_{0};
  std::atomic<int> viewFlip_{0};
  std::atomic<int> fileFlip_{0};
  std::atomic<int> recordType_{0};
  std::atomic<int> aviSizeLimit_{2000};
  std::atomic<int> frameRate_{0};
  std::atomic<QuvexHwnd> window_{nullptr};
  FrameRing ring_;
  std::atomic<int> currentIndex_{0};

  // Capture control: one host call at a time starts, stops or selects.
  std::mutex controlMutex_;
  std::atomic<int> runFlag_{0};
  platform::ManualResetEvent stopping_;
  platform::Thread captureThread_;
  int frameCount_ = 0;     // finisher thread only (reset before it starts)
  uint32_t rateTime_ = 0;  // finisher thread only (reset before it starts)

  // The recording request, handed to the capture thread whole.
  std::mutex recordMutex_;
  std::u16string recordName_;
  CRecorder recorder_;

  ErrorStack errors_;
};

}  // namespace quvex
