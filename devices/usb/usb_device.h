// CUsbDevice: one USB camera behind its driver's device paths
// "\\.\<prefix>-<index>". Command operations open the path, exchange their
// packets and close it again; the ring-fill thread and the one-shot thread
// each keep a handle of their own. Results are QUVEX_USB_* codes unless
// stated otherwise.
//
// Threads: host threads call every operation but PollFrame and ReadFrame,
// which belong to one consumer thread. Host-side operations are serialised by
// the object. The frame geometry, the sample width and the selected device
// cannot change while a capture thread runs (QUVEX_USB_ERR_BUSY).
//
// The class reads in two parts: what every USB build runs (this folder), then
// the per-model routines of device types 2 to 18 and 20 (models/).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "devices/usb/models/usb_colour.h"
#include "devices/usb/models/usb_model_state.h"
#include "devices/usb/usb_capture_blocks.h"
#include "devices/usb/usb_codes.h"
#include "devices/usb/usb_frame_copy.h"
#include "devices/usb/usb_transfer_guard.h"
#include "quvex/quvex_usb.h"
#include "quvex_platform/clock.h"
#include "quvex_platform/sync.h"
#include "quvex_platform/usb.h"

namespace quvex {

class CUsbDevice {
 public:
  // Device-name prefix (at most 63 characters are kept), enumeration of
  // indexes 0 to 7, then index 0 opened and reset.
  explicit CUsbDevice(const char* prefix) noexcept;
  CUsbDevice(const CUsbDevice&) = delete;
  CUsbDevice& operator=(const CUsbDevice&) = delete;
  // Close.
  ~CUsbDevice();

  // Naming and enumeration.
  void EnumDevices() noexcept;
  int SelectDevice(unsigned index) noexcept;
  int GetMaxDevices() const noexcept { return QUVEX_USB_MAX_DEVICES; }
  int GetDeviceIndex() const noexcept;
  int IsDevicePresent(unsigned index) const noexcept;
  // Geometry defaults, device path, 8-bit samples; 22 for an index of 8 or
  // more, 21 while a capture thread runs.
  int OpenIndex(unsigned index) noexcept;

  // Commands; the first three report no failure of the send.
  void SendReset() noexcept;
  int SetSampleWidth(int sixteenBit) noexcept;  // 1 (21 while a capture thread runs)
  int SendTransferSize() noexcept;              // 1
  int QueryByte(uint8_t code, uint8_t& answer) noexcept;  // 1, or 0 when the path did not open

  // Device type 19, the converter.
  int OpenConverter(unsigned index) noexcept;
  // 1 when the packet was sent, else 0.
  int WriteRegister16(uint8_t addressLow, int value, uint8_t addressHigh) noexcept;
  int SetConverterGeometry(int32_t pitch, int32_t xOffset, int32_t width, int32_t lines,
                           int32_t yOffset, int32_t height, int32_t ringCount) noexcept;

  // Frame geometry: 0, 1, 4, 7, or 21 while a capture thread runs.
  int SetGeometry(int32_t pitch, int32_t xOffset, int32_t width, int32_t lines, int32_t yOffset,
                  int32_t height, int32_t ringCount) noexcept;
  // Frees the raw buffer and the ring: 0, or 21 while a capture thread runs.
  int FreeBuffers() noexcept;

  // Ring-fill thread: 0 started; 21 running; 1 without a ring; 7 when the
  // event or the thread cannot be created.
  int StartCapture() noexcept;
  // Cancels the thread's transfer, joins it and returns its result: 0, or 10
  // or 19 when it ended on a failure; 0 when nothing ran.
  int StopCapture() noexcept;
  // A stop follows the commands sent now: the thread goes on filling the
  // ring, but a frame read that fails meanwhile (a stalled camera holding
  // those commands past a frame's time-out) ends it as the stop would.
  void AnnounceStop() noexcept;
  // QUVEX_USB_POLL_*.
  int PollFrame() noexcept;
  // Copies the frame chosen by the last poll (raw = 1) or converts it to
  // 24-bit colour (any other raw; colour 0 grey, else Bayer or YUV, with a
  // white balance when whiteBalance is set): 0; 14 for a null target; 19
  // when no unread complete frame is there; 5 when the region does not fit
  // targetBytes.
  int ReadFrame(void* target, size_t targetBytes, int colour, int whiteBalance, int raw) noexcept;

  // One frame into the raw buffer on the one-shot thread: its result (0, 10,
  // 18, 19), 0 at once with the capture-mode flag set, 21 while one runs, 14
  // without a buffer, 7 when the event or thread cannot be created.
  int CaptureOneShot() noexcept;
  // Copies the last one-shot frame: results as ReadFrame; 21 while the
  // one-shot runs, 19 when it delivered no complete frame.
  int GetImage(void* target, size_t targetBytes, int colour, int whiteBalance, int raw) noexcept;

  // Raw copies of a frame of the current geometry and sample width.
  int CopyRoi(void* target, size_t targetBytes, const void* source, size_t sourceBytes) const noexcept;
  int CopyFieldsRoi(void* target, size_t targetBytes, const void* source,
                    size_t sourceBytes) const noexcept;

  // Stops and joins the capture threads, frees buffers and ring, releases the
  // events.
  void Close() noexcept;

  // The object's lock, for a caller that runs several operations as one (a
  // one-shot): no other thread's host-side operation comes in between.
  [[nodiscard]] std::unique_lock<platform::CriticalSection> Hold() const {
    return std::unique_lock(control_);
  }
  // While raised, command transfers and the one-shot thread's fail at once,
  // those in progress too, but for the replies of a request that went out;
  // the ring-fill thread's are left alone. Raised only while a caller holds
  // the object, so only that caller's commands fail. Takes none of the
  // object's locks: the holder waits meanwhile.
  void InterruptTransfers(bool raised) noexcept;

  // Capture settings.
  // 1: CaptureOneShot does not wait. The variant camera is told with a
  // sensor-register write first; the flag changes only when that write went
  // out (1), else 0. Other devices store the flag and return 1.
  int SetCaptureMode(int flag) noexcept;
  void SetTwoFieldLayout(int flag) noexcept;    // 1: the next geometry holds two fields
  void SetSourceFamily(int family) noexcept;    // QUVEX_USB_SOURCE_*
  void SetLargeTransfer(int flag) noexcept;     // 1: alternative frame request codes

  // The variant camera (usb_variant.cpp): its own open sequence, a window
  // with its transfer size in sensor registers, pixel mode, value reads and
  // the internal temperature. Commands go out under the object's lock, so a
  // read and its two replies are one exchange.
  struct Variant {};
  // Enumeration, then index 0 opened with OpenCamera.
  CUsbDevice(const char* prefix, Variant) noexcept;
  // OpenIndex, reset, init, the full 640 x 480 window: 0, or OpenIndex's error.
  int OpenCamera(unsigned index) noexcept;
  // Packet 0x04 {address high != 0, address low, value high, value low}: 1 when sent.
  int WriteCameraRegister(uint8_t addressLow, uint16_t value, int addressHigh) noexcept;
  // Packet 0x05 and both its replies, always read: 1 with the value of the
  // second, 0 when the send or the second reply failed.
  int ReadValue(int selector, uint16_t& value) noexcept;
  // Packet 0x25 {register, value}: 1 when sent.
  int WriteSensorByte(uint8_t sensorRegister, uint8_t value) noexcept;
  // 16-bit transfers always; the sensor's pixel mode 13 (16-bit) or 12. 1, or
  // 21 while a capture thread runs.
  int SetPixelMode(int sixteenBit) noexcept;
  // 0 set; 1 rejected (nothing changed); the geometry's error when the ring
  // cannot be set up.
  int SetWindow(int x, int y, int width, int height, int mode) noexcept;
  // The upper nine bits of value 1: 1 with them, 0 on failure.
  int ReadInternalTemperature(uint16_t& nineBits) noexcept;
  // Whether a camera answered at the selected index.
  int IsCurrentPresent() const noexcept;
  struct VariantWindow {
    int x = 0, y = 0, width = 0, height = 0, mode = 0;
    std::array<int, 4> registers{};  // x, y, width, height rounded up to even
  };
  VariantWindow Window() const noexcept;
  int CaptureModeFlag() const noexcept;
  int LargeTransferFlag() const noexcept;

  const char* Prefix() const noexcept { return prefix_.data(); }
  const char* DevicePath() const noexcept { return devicePath_.data(); }
  uint32_t TransferSize() const noexcept { return transferSize_; }
  int SampleWidthFlag() const noexcept { return sampleWidthFlag_; }
  int RingCount() const noexcept { return ringCount_; }
  int SourceFamily() const noexcept { return sourceFamily_; }
  const UsbFrameLayout& Layout() const noexcept { return layout_; }

  // ---- Per-model routines of device types 2 to 18 and 20 (models/) ------
  // Colour forms of a frame of the current geometry (usb_device_colour.cpp):
  // 0, 5 (QUVEX_USB_ERR_ROI) or 14. The rectangle is in region coordinates.
  int CheckRoi(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const noexcept;
  int ConvertToRgb(void* target, size_t targetBytes, const void* source, size_t sourceBytes,
                   int colour, int whiteBalance, int32_t x0, int32_t y0, int32_t x1,
                   int32_t y1) noexcept;
  int ConvertFrameToRgb(void* target, size_t targetBytes, const void* source, size_t sourceBytes,
                        int colour, int whiteBalance) noexcept;
  int ConvertFieldsToRgb(void* target, size_t targetBytes, const void* source,
                         size_t sourceBytes, int colour, int whiteBalance, int32_t x0, int32_t y0,
                         int32_t x1, int32_t y1) noexcept;
  int ConvertFieldsFrameToRgb(void* target, size_t targetBytes, const void* source,
                              size_t sourceBytes, int colour, int whiteBalance) noexcept;
  // Bayer phase of the sensor region and mirror flags.
  int ComputeBayerPhase() const noexcept;
  UsbColourSettings ColourSettings() const noexcept;
  UsbModelState ModelState() const noexcept;

  // Sensor and converter registers (usb_sensor_registers.cpp): 1 on
  // success, 0 on failure or refusal. The guarded forms refuse what the
  // register map does not allow; the cache serves the type-9 writer.
  int WriteRegisterType17(unsigned reg, int value) noexcept;  // types 17, 18
  int WriteRegisterType9(unsigned reg, int value) noexcept;   // types 9, 11, 15, 16
  int WriteRegister8(unsigned reg, int value) noexcept;       // type 20, guarded
  int WriteSensorRegister(unsigned reg, int value) noexcept;  // types 5, 6
  int WriteSensorRegisterGuarded(unsigned reg, int value) noexcept;  // types 2, 3, 4
  int WriteSensorRegisterType7(unsigned reg, int value) noexcept;    // also refuses 0 to 4
  int ReadSensorRegister(unsigned reg, uint16_t& value) noexcept;    // 0 stored on failure
  int ReadSensorRegisterGuarded(unsigned reg, uint16_t& value) noexcept;
  int ReadRegister8(unsigned reg, uint8_t& value) noexcept;
  int GetCachedRegister(unsigned reg, int32_t& value) const noexcept;
  // Sample-width packet without remembering the width; 1.
  int SendSampleWidth(int flag) noexcept;
  // Serial front end of type 8.
  int SetSerialBlock(const SerialBlock& block) noexcept;
  int SetSerialField(uint8_t low, uint16_t high) noexcept;
  int SendControlWord(uint16_t word) noexcept;

  // Register maps and sensor initialisations (usb_sensor_init.cpp); 1.
  int InitRegisterMapType14() noexcept;
  int InitRegisterMapType13() noexcept;
  int InitRegisterMapType10() noexcept;
  int InitSensorType7() noexcept;
  int InitSensorType2() noexcept;
  int InitSensorType3() noexcept;
  int InitSensorType4() noexcept;
  int InitSensorType5() noexcept;
  int InitSensorType6() noexcept;
  int WriteChipSetupType6() noexcept;
  int WriteChipSetupBType6(int flag) noexcept;
  int WriteChipSetupCType6(int flag) noexcept;
  // The board flag of type 6 (query 5 answered 0): 1 or 0, 0 without a path.
  int QueryBoardFlag() noexcept;

  // Region and binning setters of types 2 to 7 (usb_model_setters.cpp):
  // 1 when the request is refused (nothing changed or sent), else 0.
  int SetRegionType2(int x, int y, int width, int height, int binning) noexcept;
  int SetRegionType3(int x, int y, int width, int height, int binning) noexcept;
  int SetRegionType4(int x, int y, int width, int height, int binning) noexcept;
  int SetRegionType5(int x, int y, int width, int height, int binning) noexcept;
  int SetRegionType6(int x, int y, int width, int height, int binning) noexcept;
  int SetRegionType7(int x, int y, int width, int height, int binning) noexcept;
  // Mode setters: 1 on success, 0 on failure.
  int SetModeType18(int flag) noexcept;
  int SetModeType17(int flag) noexcept;
  int SetModeType9(int flag) noexcept;  // also 11, 15, 16
  int SetModeType10(int flag) noexcept;  // also 14
  int SetModeType13(int flag) noexcept;
  int SetModeType8(int flag) noexcept;
  int SetModeType7(int flag) noexcept;
  int SetModeType2(int flag) noexcept;  // also 3
  int SetModeType6(int flag) noexcept;
  int SetModeType5(int flag) noexcept;
  int SetModeType4(int flag, int variant) noexcept;
  // Type 5's row flip and the Bayer phase of its mirror flags; 0.
  int SetRowFlipType5(int flag) noexcept;
  int GetBayerPhaseType5() const noexcept;

  // Open sequences of types 2 to 18 (usb_model_opens.cpp) and of the video
  // converter, type 20 (usb_video_converter.cpp): 0, or the index
  // selection's failure (22 for an index of 8 or more).
  int OpenType2(unsigned index) noexcept;
  int OpenType3(unsigned index) noexcept;
  int OpenType4(unsigned index) noexcept;
  int OpenType5(unsigned index) noexcept;
  int OpenType6(unsigned index) noexcept;
  int OpenType7(unsigned index) noexcept;
  int OpenType8(unsigned index) noexcept;
  int OpenType9(unsigned index) noexcept;
  int OpenType10(unsigned index) noexcept;
  int OpenType11(unsigned index) noexcept;
  int OpenType12(unsigned index) noexcept;
  int OpenType13(unsigned index) noexcept;
  int OpenType14(unsigned index) noexcept;
  int OpenType15(unsigned index) noexcept;
  int OpenType16(unsigned index) noexcept;
  int OpenType17(unsigned index) noexcept;
  int OpenType18(unsigned index) noexcept;
  int OpenType20(unsigned index, int mode) noexcept;
  // The converter's register map, then register 127 := 0; 1.
  int LoadConverterRegisterMap() noexcept;
  // Video standard 0 to 3 from the converter's status register; 0 when it
  // cannot be read.
  int DetectVideoStandard() noexcept;

 private:
  void InitMembers() noexcept;
  void ResetDefaults() noexcept;
  bool ThreadsRunning() const noexcept;
  // The geometry with the current sample width and source family.
  UsbFrameLayout CurrentLayout() const noexcept;
  // Opens the device path, sends one packet, closes: 0, 10 or 12.
  int SendCommand(const std::array<uint8_t, QUVEX_USB_PACKET_SIZE>& packet) noexcept;
  void FreeBuffersLocked() noexcept;
  void JoinOneShot() noexcept;
  int ReadSlot(const UsbFrameLayout& layout, const uint8_t* source, size_t sourceBytes,
               void* target, size_t targetBytes, int colour, int whiteBalance, int raw) noexcept;
  size_t FrameBufferBytes() const noexcept { return 2 * static_cast<size_t>(transferSize_); }

  // Serialises the host-side operations (re-entrant: operations call each
  // other).
  mutable platform::CriticalSection control_;
  // Shared by a frame copy out of the ring, exclusive while buffers change.
  std::shared_mutex buffers_;

  int sampleWidthFlag_ = 0;
  UsbFrameLayout layout_;
  uint32_t transferSize_ = 0;
  UsbFrameBuffer rawBuffer_;
  int twoFieldFlag_ = 0;
  int ringCount_ = 0;
  int sourceFamily_ = QUVEX_USB_SOURCE_SENSOR;
  std::array<char, QUVEX_USB_PREFIX_MAX + 1> prefix_{};
  std::array<int, QUVEX_USB_MAX_DEVICES> presence_{};
  int selectedIndex_ = 0;
  int captureModeFlag_ = 0;
  int largeTransferFlag_ = 0;
  UsbRingBlock ring_;
  UsbOneShotBlock oneShot_;
  UsbTransferGuard commands_;  // the handle of the command in progress
  std::unique_ptr<UsbRingSlot[]> slots_;
  std::array<char, 128> devicePath_{};

  // Members cleared, prefix stored, indexes enumerated; nothing opened.
  struct Enumerated {};
  CUsbDevice(const char* prefix, Enumerated) noexcept;

  // The variant camera.
  int SendVariantCommand(uint8_t code, uint8_t first, uint8_t second) noexcept;
  // Steps of SetWindow after the checks: geometry, size registers, settle.
  int ApplyWindow(const VariantWindow& window) noexcept;
  bool variant_ = false;
  VariantWindow window_;

  // ---- Per-model helpers and state (models/) ---------------------------
  // The colour form of a frame of layout (usb_device_colour.cpp).
  int ConvertSlot(const UsbFrameLayout& layout, const UsbRoiRect& rect, const void* source,
                  size_t sourceBytes, void* target, size_t targetBytes, int colour,
                  int whiteBalance) noexcept;
  void SetColourSettings(const UsbColourSettings& settings) noexcept;
  // Register access, initialisations, setters and opens.
  int SendBytes(std::initializer_list<uint8_t> bytes) noexcept;  // 1 when sent
  int ReadRegisterBytes(unsigned reg, uint8_t* out, int length) noexcept;
  bool MapAllows(unsigned reg, bool write) const noexcept;
  int SendSerialBlock() noexcept;
  void LoadRegisterMap(const SensorRegisterMap& map) noexcept;
  int InitSensorPulsed(int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  uint16_t ChipId() const noexcept;
  int SetupValueType6() const noexcept;
  bool RegionRefused(int x, int y, int width, int height, int binning, int sensorWidth,
                     int sensorHeight, bool binnedCheck) const noexcept;
  void ApplyRegion(const UsbSensorRegion& region, int binning,
                   const std::array<int32_t, 7>& geometry) noexcept;
  void SetBayerPhase(int phase) noexcept;
  void StoreWindow(const std::array<int32_t, 4>& window) noexcept;
  int SetRegionPulsed(int x, int y, int width, int height, int binning,
                      int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  int SendModePacket(int byte) noexcept;
  int SetModeSerial(int flag, int modeRegister129,
                    int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  int SetModeRegister30(int flag, uint16_t on, uint16_t off,
                        int (CUsbDevice::*read)(unsigned, uint16_t&) noexcept,
                        int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  int OpenPrologue(unsigned index, bool once, int (CUsbDevice::*init)() noexcept) noexcept;
  int OpenFixed(unsigned index, const UsbFixedModel& model) noexcept;
  int InitSerialFrontEndType8() noexcept;
  int ClearRegisterBits(unsigned reg, uint16_t mask,
                        int (CUsbDevice::*read)(unsigned, uint16_t&) noexcept,
                        int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  int OpenPulsed(unsigned index, bool once, int (CUsbDevice::*init)() noexcept,
                 int (CUsbDevice::*setRegion)(int, int, int, int, int) noexcept, int32_t width,
                 int32_t height, int (CUsbDevice::*write)(unsigned, int) noexcept) noexcept;
  // Per-model state, under control_. The colour settings are also read by
  // the frame reader, hence their own lock.
  UsbModelState model_;
  mutable std::mutex colourMutex_;
  UsbColourSettings colour_;
};

}  // namespace quvex