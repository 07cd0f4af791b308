#pragma once
// The simulated module the line benchmarks measure against: an Ingra on TCP and on a pseudo-terminal.
// The pseudo-terminal is linked as COM5 in a temporary port folder.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/TSimProcess.h"

namespace bench {

constexpr int kComPort = 5;
inline std::unique_ptr<korvan::test::TPortDir> g_ports;
inline std::unique_ptr<korvan::test::TSimProcess> g_sim;

// False, with a message, when the simulator did not start.
inline bool StartSimulator() {
  g_ports = std::make_unique<korvan::test::TPortDir>();
  g_sim = std::make_unique<korvan::test::TSimProcess>(std::vector<std::string>{
      "--module", "ingra", "--tcp", "127.0.0.1:0", "--link", g_ports->Link(kComPort)});
  if (g_sim->Started()) return true;
  std::fprintf(stderr, "korvan-sim did not start\n");
  return false;
}

inline void StopSimulator() {
  g_sim.reset();
  g_ports.reset();
}

}  // namespace bench
