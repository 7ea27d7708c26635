// quvex_sample: the example host program. It loads a Quvex library, starts a
// simulated camera (unless told not to), previews, counts the frames as they
// arrive, records a short movie and both streams, reports the frame rate and
// temperatures, takes a one-shot and saves it in every save type. It reports
// every error the library gives, names only the files that exist, and exits
// with 1 when a step failed.
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quvex/quvex.h"
#include "quvex/quvex_libusb.h"
#include "quvex/quvex_window.h"
#include "sim/gige_camera.h"
#include "sim/lan_camera.h"
#include "sim/stream_camera.h"
#include "sim/usb_camera.h"

namespace {

struct Options {
  std::string library = "Galdris";
  std::string libraryDir = QUVEX_LIBRARY_DIR;
  std::string output = "quvex-output";
  std::string cameraAddress = "127.0.0.1";
  int frames = 90;
  bool simulator = true;
  int usbVendor = -1;  // with --usb-device: the real camera's ids
  int usbProduct = -1;
  // GigE cameras (Dellisk): the adapter's name and the camera's MAC address.
  std::string adapter = quvex::sim::InProcessGigELink::kDescription;
  std::string cameraMac = "02:51:56:58:00:01";
};

void PrintUsage() {
  std::printf(
      "Usage: quvex_sample [options]\n"
      "\n"
      "Previews a camera through a Quvex library, records and saves frames.\n"
      "\n"
      "  --library NAME     Galdris (USB camera, the default), Hesperon (variant USB\n"
      "                     camera), Corvane (LAN camera), Dellisk (GigE camera) or\n"
      "                     Fenwold (LAN camera on port 123)\n"
      "  --library-dir DIR  folder of the libraries (default: the build's)\n"
      "  --frames N         frames to capture (default 90)\n"
      "  --output DIR       folder for the files written (default quvex-output)\n"
      "  --camera-address A.B.C.D  the LAN camera's address (default 127.0.0.1)\n"
      "  --adapter NAME     the GigE camera's network adapter (default: the simulator's)\n"
      "  --camera-mac MAC   the GigE camera's MAC address (default: the simulator's)\n"
      "  --no-simulator     use a real camera instead of the simulator\n"
      "  --usb-device VENDOR:PRODUCT  use the real USB camera with these ids (hex,\n"
      "                     e.g. 1a2b:0c3d) through libusb instead of the simulator\n"
      "  --help             this text\n");
}

// "VENDOR:PRODUCT", each 1 to 4 hex digits.
bool ParseUsbIds(const std::string& text, Options& options) {
  const auto hex = [](const std::string& part, int& value) {
    if (part.empty() || part.size() > 4 ||
        part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return false;
    }
    value = static_cast<int>(std::strtol(part.c_str(), nullptr, 16));
    return true;
  };
  const size_t colon = text.find(':');
  return colon != std::string::npos && hex(text.substr(0, colon), options.usbVendor) &&
         hex(text.substr(colon + 1), options.usbProduct);
}

// The device-name prefix each USB library opens.
const char* UsbPrefix(const std::string& library) {
  if (library == "Galdris") return "ZelmorX02";
  if (library == "Hesperon") return "ZelmorIR640A";
  return nullptr;
}

// Installs the libusb driver for the library's cameras when asked to.
bool InstallUsbDriver(const Options& options) {
  if (options.usbVendor < 0) return true;
  const char* prefix = UsbPrefix(options.library);
  if (prefix == nullptr) {
    std::fprintf(stderr, "quvex_sample: --usb-device needs a USB library (Galdris or Hesperon)\n");
    return false;
  }
  if (QuvexUsb_InstallLibusbDriver(prefix, options.usbVendor, options.usbProduct) != 1) {
    std::fprintf(stderr, "quvex_sample: cannot use USB device %04x:%04x through libusb\n",
                 options.usbVendor, options.usbProduct);
    return false;
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      PrintUsage();
      std::exit(0);
    } else if (arg == "--library" && hasValue) {
      options.library = argv[++i];
    } else if (arg == "--library-dir" && hasValue) {
      options.libraryDir = argv[++i];
    } else if (arg == "--frames" && hasValue) {
      options.frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--camera-address" && hasValue) {
      options.cameraAddress = argv[++i];
    } else if (arg == "--output" && hasValue) {
      options.output = argv[++i];
    } else if (arg == "--adapter" && hasValue) {
      options.adapter = argv[++i];
    } else if (arg == "--camera-mac" && hasValue) {
      options.cameraMac = argv[++i];
    } else if (arg == "--no-simulator") {
      options.simulator = false;
    } else if (arg == "--usb-device" && hasValue) {
      if (!ParseUsbIds(argv[++i], options)) {
        std::fprintf(stderr, "quvex_sample: '%s' is not VENDOR:PRODUCT in hex\n", argv[i]);
        return false;
      }
      options.simulator = false;
    } else {
      std::fprintf(stderr, "quvex_sample: unknown argument '%s' (see --help)\n", arg.c_str());
      return false;
    }
  }
  return true;
}

// The library's exports that this sample uses.
struct Quvex {
  void* module = nullptr;
#define QUVEX_EXPORT(name) decltype(&::name) name = nullptr
  QUVEX_EXPORT(Quvex_GetDllVersion);
  QUVEX_EXPORT(Quvex_Initialize);
  QUVEX_EXPORT(Quvex_Release);
  QUVEX_EXPORT(Quvex_Preview);
  QUVEX_EXPORT(Quvex_Close);
  QUVEX_EXPORT(Quvex_OneShot);
  QUVEX_EXPORT(Quvex_GetParam);
  QUVEX_EXPORT(Quvex_GetTemperature);
  QUVEX_EXPORT(Quvex_SaveA);
  QUVEX_EXPORT(Quvex_RecA);
  QUVEX_EXPORT(Quvex_GetLastError);
  QUVEX_EXPORT(Quvex_SetIpAddress);  // LAN cameras only
  QUVEX_EXPORT(Quvex_GetInternalTemperature);  // Hesperon and Corvane only
#undef QUVEX_EXPORT

  bool Load(const std::string& path) {
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return false;
#define QUVEX_RESOLVE(name) name = reinterpret_cast<decltype(name)>(dlsym(module, #name))
    QUVEX_RESOLVE(Quvex_GetDllVersion);
    QUVEX_RESOLVE(Quvex_Initialize);
    QUVEX_RESOLVE(Quvex_Release);
    QUVEX_RESOLVE(Quvex_Preview);
    QUVEX_RESOLVE(Quvex_Close);
    QUVEX_RESOLVE(Quvex_OneShot);
    QUVEX_RESOLVE(Quvex_GetParam);
    QUVEX_RESOLVE(Quvex_GetTemperature);
    QUVEX_RESOLVE(Quvex_SaveA);
    QUVEX_RESOLVE(Quvex_RecA);
    QUVEX_RESOLVE(Quvex_GetLastError);
    QUVEX_RESOLVE(Quvex_SetIpAddress);
    QUVEX_RESOLVE(Quvex_GetInternalTemperature);
#undef QUVEX_RESOLVE
    return Quvex_GetDllVersion && Quvex_Initialize && Quvex_Release && Quvex_Preview &&
           Quvex_Close && Quvex_OneShot && Quvex_GetParam && Quvex_GetTemperature &&
           Quvex_SaveA && Quvex_RecA && Quvex_GetLastError;
  }
  ~Quvex() {
    if (module != nullptr) dlclose(module);
  }
};

// Recordings made while the frames arrive: each runs for a third of them.
struct RecordPlan {
  int type;
  const char* file;
};
constexpr RecordPlan kRecordings[] = {
    {QUVEX_REC_AVI, "movie.avi"}, {QUVEX_REC_RAW, "stream.raw"}, {QUVEX_REC_TEMPERATURE, "stream.f32"}};

const char* const kSaveFiles[] = {
    "frame.bmp", "frame.bgr", "frame-q100.jpg", "frame-q70.jpg", "frame-q20.jpg",
    "frame.png", "frame.tif", "raw16.bin",      "raw16.png",     "raw16.tif",
    "temp-int8.bin", "temp-uint8.bin", "temp-int32.bin", "temp-float.bin"};

// Prints an error code of quvex.h with its meaning.
void ReportError(const char* what, long code) {
  static const char* const kMeanings[] = {
      "none",     "not ready", "camera number", "frame read", "capture ended", "argument",
      "buffer",   "thread",    "device",        "file",       "unsupported",   "network"};
  const bool known = code >= 0 && code < static_cast<long>(std::size(kMeanings));
  std::printf("%s: error %ld (%s)\n", what, code, known ? kMeanings[code] : "unknown");
}

// Names a file the run should have written: "wrote FILE" only if it exists.
bool ReportWritten(const std::string& file) {
  struct stat info {};
  const bool exists = stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  std::printf(exists ? "wrote %s\n" : "not written: %s\n", file.c_str());
  return exists;
}

void ReportTemperatures(Quvex& q, int handle, int frameId) {
  const int width = q.Quvex_GetParam(handle, QUVEX_PARAM_WIDTH);
  const int height = q.Quvex_GetParam(handle, QUVEX_PARAM_HEIGHT);
  std::vector<float> t(static_cast<size_t>(width) * height);
  if (q.Quvex_GetTemperature(handle, frameId, t.data(), static_cast<int>(t.size() * 4)) == 0) {
    std::printf("temperatures: frame %d is no longer in the ring\n", frameId);
    return;
  }
  const auto [low, high] = std::minmax_element(t.begin(), t.end());
  std::printf("temperature: centre %.2f C, minimum %.2f C, maximum %.2f C\n",
              t[static_cast<size_t>(height / 2) * width + width / 2], *low, *high);
}

// A LAN camera is reached by its address; a USB camera is found by the
// library itself.
bool Connect(Quvex& q, int handle, const std::string& address) {
  if (q.Quvex_SetIpAddress == nullptr) return true;
  unsigned a, b, c, d;
  if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4 || a > 255 || b > 255 ||
      c > 255 || d > 255) {
    std::fprintf(stderr, "quvex_sample: '%s' is not an IPv4 address\n", address.c_str());
    return false;
  }
  return q.Quvex_SetIpAddress(handle, static_cast<int>(a), static_cast<int>(b),
                              static_cast<int>(c), static_cast<int>(d)) != 0;
}

// A GigE camera is found on a named network adapter by its MAC address.
bool ConnectGigE(void* module, int handle, const Options& options) {
  const auto setDevice = reinterpret_cast<decltype(&::Quvex_SetDeviceNumber)>(
      dlsym(module, "Quvex_SetDeviceNumber"));
  const auto deviceName = reinterpret_cast<decltype(&::Quvex_GetDeviceNameA)>(
      dlsym(module, "Quvex_GetDeviceNameA"));
  const auto connect = reinterpret_cast<decltype(&::Quvex_ConnectToCamera)>(
      dlsym(module, "Quvex_ConnectToCamera"));
  if (setDevice == nullptr || deviceName == nullptr || connect == nullptr) return true;
  uint8_t mac[6];
  if (std::sscanf(options.cameraMac.c_str(), "%hhx:%hhx:%hhx:%hhx:%hhx:%hhx", &mac[0], &mac[1],
                  &mac[2], &mac[3], &mac[4], &mac[5]) != 6) {
    std::fprintf(stderr, "quvex_sample: '%s' is not a MAC address\n", options.cameraMac.c_str());
    return false;
  }
  for (int index = 0; index < 8; ++index) {
    char name[256] = {};
    if (deviceName(handle, index, name, sizeof name) == 0 || options.adapter != name) continue;
    if (setDevice(handle, index) == 0) {
      std::fprintf(stderr, "quvex_sample: cannot open adapter '%s'\n", name);
      return false;
    }
    if (connect(handle, mac) == 0) {
      std::fprintf(stderr, "quvex_sample: no camera %s on '%s'\n", options.cameraMac.c_str(), name);
      return false;
    }
    return true;
  }
  std::fprintf(stderr, "quvex_sample: no adapter '%s'\n", options.adapter.c_str());
  return false;
}

int Run(const Options& options) {
  // The simulators stand in for the camera of each library.
  std::unique_ptr<quvex::sim::SimUsbCamera> usbCamera;
  std::unique_ptr<quvex::sim::SimLanCamera> lanCamera;
  std::unique_ptr<quvex::sim::SimStreamCamera> streamCamera;
  std::unique_ptr<quvex::sim::SimGigECamera> gigeCamera;
  if (options.simulator && options.library == "Dellisk") {
    gigeCamera = std::make_unique<quvex::sim::SimGigECamera>(
        std::make_unique<quvex::sim::InProcessGigELink>());
    gigeCamera->SetFrameRate(30);
  } else if (options.simulator && options.library == "Corvane") {
    lanCamera = std::make_unique<quvex::sim::SimLanCamera>(options.cameraAddress);
    lanCamera->SetFrameDelay(23);  // with the default 10 ms loop sleep, about 30 frames a second
  } else if (options.simulator && options.library == "Hesperon") {
    usbCamera = std::make_unique<quvex::sim::SimUsbCamera>(quvex::sim::VariantCameraOptions());
    usbCamera->SetReadValue(1, 0x1F80);  // the camera's own temperature: 31.5 C
  } else if (options.simulator && options.library == "Fenwold") {
    streamCamera = std::make_unique<quvex::sim::SimStreamCamera>(options.cameraAddress);
    streamCamera->SetFrameDelay(23);  // about 30 frames a second, streamed
    if (!streamCamera->Listening()) {
      std::fprintf(stderr, "quvex_sample: the simulated camera cannot listen on %s, port 123\n",
                   options.cameraAddress.c_str());
      return 1;
    }
  } else if (options.simulator) {
    usbCamera = std::make_unique<quvex::sim::SimUsbCamera>();
  }

  if (!InstallUsbDriver(options)) return 1;
  // Removed after the library is released (q below is destroyed first).
  const std::unique_ptr<const char, int (*)(const char*)> usbDriver(
      options.usbVendor >= 0 ? UsbPrefix(options.library) : nullptr, &QuvexUsb_RemoveLibusbDriver);

  Quvex q;
  const std::string path = options.libraryDir + "/lib" + options.library + ".so";
  if (!q.Load(path)) {
    std::fprintf(stderr, "quvex_sample: cannot load %s\n", path.c_str());
    return 1;
  }
  const int version = q.Quvex_GetDllVersion();
  std::printf("%s version %d.%d\n", options.library.c_str(), version >> 16, version & 0xFFFF);

  int errors = 0;
  if (mkdir(options.output.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "quvex_sample: cannot create %s: %s\n", options.output.c_str(),
                 std::strerror(errno));
    ++errors;
  }
  QuvexHwnd window = QuvexWindow_Create();
  const int handle = q.Quvex_Initialize(window);
  if (handle == 0 || !Connect(q, handle, options.cameraAddress) ||
      !ConnectGigE(q.module, handle, options) || q.Quvex_Preview(handle) == 0) {
    std::fprintf(stderr, "quvex_sample: the camera did not start (error %d)\n",
                 handle != 0 ? q.Quvex_GetLastError(handle) : 0);
    if (handle != 0) q.Quvex_Release(handle);
    QuvexWindow_Destroy(window);
    return 1;
  }

  int frames = 0, lastFrame = 0;
  size_t recording = 0;
  std::vector<std::string> written;
  QuvexMessage message{};
  while (frames < options.frames && QuvexWindow_GetMessage(window, &message, 5000) == 1) {
    if (message.message == WM_QUVEX_ERROR) {
      std::printf("\n");
      ReportError("camera", static_cast<long>(message.lParam));
      ++errors;
      continue;
    }
    lastFrame = static_cast<int>(message.lParam);
    ++frames;
    // Switch to the next recording at each third of the frames.
    const size_t due = std::min<size_t>(frames * 3 / options.frames, std::size(kRecordings));
    if (due == recording && recording < std::size(kRecordings)) {
      const std::string file = options.output + "/" + kRecordings[recording].file;
      std::remove(file.c_str());  // an earlier run's file is not this run's
      if (q.Quvex_RecA(handle, file.c_str(), kRecordings[recording].type) != 0) {
        written.push_back(file);
      } else {
        std::printf("\n");
        ReportError(("recording " + file).c_str(), q.Quvex_GetLastError(handle));
        ++errors;
      }
      ++recording;
    }
    std::printf("\rframes: %d/%d", frames, options.frames);
    std::fflush(stdout);
  }
  q.Quvex_RecA(handle, "", QUVEX_REC_NONE);
  std::printf("\nframe rate: %.2f frames per second\n",
              q.Quvex_GetParam(handle, QUVEX_PARAM_FRAME_RATE) / 100.0);
  if (lastFrame != 0) ReportTemperatures(q, handle, lastFrame);
  if (q.Quvex_GetInternalTemperature != nullptr) {
    int ok = 0;
    const float inside = q.Quvex_GetInternalTemperature(handle, &ok);
    if (ok != 0) std::printf("camera's internal temperature: %.1f C\n", inside);
  }
  q.Quvex_Close(handle);  // also ends the recording
  // Errors posted after the last message the loop read.
  while (QuvexWindow_GetMessage(window, &message, 0) == 1) {
    if (message.message != WM_QUVEX_ERROR) continue;
    ReportError("camera", static_cast<long>(message.lParam));
    ++errors;
  }

  const int shot = q.Quvex_OneShot(handle);
  if (shot != 0) {
    std::printf("one-shot frame id: %d\n", shot);
  } else {
    ReportError("one-shot", q.Quvex_GetLastError(handle));
    ++errors;
  }
  for (int type = QUVEX_SAVE_BMP; type <= QUVEX_SAVE_TEMP_FLOAT; ++type) {
    const std::string file = options.output + "/" + kSaveFiles[type];
    std::remove(file.c_str());
    if (q.Quvex_SaveA(handle, file.c_str(), type) != 0) {
      written.push_back(file);
    } else {
      ReportError(("saving " + file).c_str(), q.Quvex_GetLastError(handle));
      ++errors;
    }
  }
  for (const std::string& file : written) errors += ReportWritten(file) ? 0 : 1;

  q.Quvex_Release(handle);
  QuvexWindow_Destroy(window);
  if (frames < options.frames) {
    std::fprintf(stderr, "quvex_sample: only %d of %d frames arrived\n", frames, options.frames);
    return 1;
  }
  return errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;
  return Run(options);
}
