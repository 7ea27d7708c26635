// The driver transport: device paths, bulk transfers on pipes and the 64-byte
// command packets. Free functions over a driver handle; results are the
// layer's codes unless stated otherwise.
#pragma once

#include <array>
#include <cstdint>

#include "quvex/quvex_usb.h"
#include "quvex_platform/usb.h"

namespace quvex {

using UsbCommandPacket = std::array<uint8_t, QUVEX_USB_PACKET_SIZE>;

// A packet with code in byte 0 and zeros elsewhere.
UsbCommandPacket MakeCommandPacket(uint8_t code) noexcept;
// {0x04, address high, address low, value bits 15-8, value bits 7-0, 0...}.
UsbCommandPacket MakeRegisterPacket(uint8_t addressHigh, uint8_t addressLow, int value) noexcept;
// {0x09, transfer size least significant byte first, 0...}.
UsbCommandPacket MakeTransferSizePacket(uint32_t samples) noexcept;
// {0x0A, 1 for 16-bit samples else 0, 0...}.
UsbCommandPacket MakeSampleWidthPacket(bool sixteenBit) noexcept;

// Opens path into handle: 1 when a handle was obtained, else 0. A null path
// returns 0 and leaves the handle untouched.
int OpenDevicePath(platform::UsbHandle& handle, const char* path) noexcept;
// Closes a handle and empties it: 1, or 0 for an empty handle.
int CloseDeviceHandle(platform::UsbHandle& handle) noexcept;

// One transfer of length bytes on pipe. direction non-zero uses request code
// 0x222051, zero 0x22204E (the Alt form: 0x2220A9 and 0x2220A6). Returns 0 on
// success, -1 when the transfer failed, -2 for a null buffer, -3 for an empty
// handle; transferred receives the bytes moved.
int UsbBulkTransfer(const platform::UsbHandle& handle, int pipe, uint32_t length, void* buffer,
                    uint32_t& transferred, int direction,
                    uint32_t timeoutMs = platform::kUsbCommandTimeoutMs) noexcept;
int UsbBulkTransferAlt(const platform::UsbHandle& handle, int pipe, uint32_t length, void* buffer,
                       uint32_t& transferred, int direction,
                       uint32_t timeoutMs = platform::kUsbCommandTimeoutMs) noexcept;

// Sends (direction 1) or receives (direction 0) exactly length bytes: 0, 10
// for an empty handle, 12 when the transfer failed or moved less.
int UsbSendPacket(const platform::UsbHandle& handle, int pipe, uint32_t length,
                  const void* buffer) noexcept;
int UsbReceivePacket(const platform::UsbHandle& handle, int pipe, uint32_t length,
                     void* buffer) noexcept;

// Register write packet 0x04 carrying up to 63 caller bytes.
int UsbWriteRegisterBlock(const platform::UsbHandle& handle, int count, const uint8_t* data) noexcept;

// Sends {0x0C, code} and takes the two 64-byte replies on pipe 1; copies
// min(length, 64) bytes of the last reply. The result is the send's when it
// failed, else the second receive's.
int UsbReadRegister(const platform::UsbHandle& handle, uint8_t code, uint8_t* buffer,
                    int length) noexcept;
// As UsbReadRegister with {0x21, code}; answer := byte 0 of the reply
// (untouched when the send failed).
int UsbQueryByte(const platform::UsbHandle& handle, uint8_t code, uint8_t& answer) noexcept;

}  // namespace quvex
