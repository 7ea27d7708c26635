// A veth pair between two network namespaces of this process's own, for
// tests that drive real packet capture end to end: the host end in one
// namespace (where nothing else is), the camera end with the camera's MAC
// address in the other. Needs CAP_NET_ADMIN and the ip command; everything
// is removed again by the destructor.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace quvex::sim {

class VethNetwork {
 public:
  explicit VethNetwork(const std::array<uint8_t, 6>& cameraMac);
  ~VethNetwork();
  VethNetwork(const VethNetwork&) = delete;
  VethNetwork& operator=(const VethNetwork&) = delete;

  // true when this process may create namespaces and interfaces.
  static bool Permitted();

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  const std::string& HostInterface() const { return hostInterface_; }
  const std::string& CameraInterface() const { return cameraInterface_; }

  // Runs body on a thread of its own inside the namespace and waits for it;
  // sockets it opens stay in that namespace. false when it cannot enter.
  bool RunInHost(const std::function<void()>& body) const { return RunIn(hostNamespace_, body); }
  bool RunInCamera(const std::function<void()>& body) const {
    return RunIn(cameraNamespace_, body);
  }

 private:
  static bool RunIn(const std::string& name, const std::function<void()>& body);
  bool Run(const std::string& command);

  std::string hostNamespace_, cameraNamespace_, hostInterface_, cameraInterface_;
  bool ok_ = false;
  std::string error_;
};

}  // namespace quvex::sim
