// What a process and every process below it use, read from /proc: the benchmarks'
// CPU time and PSS figures for a program together with the web engine's processes.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace qm::bench {

struct ProcStat {
  long ppid = 0;
  double cpu_s = 0;  // user + system
};

inline std::map<long, ProcStat> Processes() {
  std::map<long, ProcStat> all;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    // After the name: state ppid pgrp session tty tpgid flags minflt cminflt majflt
    // cmajflt utime stime.
    char state = 0;
    long ppid = 0, skip = 0;
    unsigned long utime = 0, stime = 0;
    std::sscanf(line.c_str() + close + 2, "%c %ld %ld %ld %ld %ld %ld %ld %ld %ld %ld %lu %lu",
                &state, &ppid, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip,
                &utime, &stime);
    all[std::stol(name)] = {ppid, static_cast<double>(utime + stime) / tick};
  }
  return all;
}

inline std::vector<long> Tree(long root, const std::map<long, ProcStat>& all) {
  std::vector<long> tree;
  for (const auto& [pid, stat] : all) {
    for (long up = pid; up > 1;) {
      if (up == root) {
        tree.push_back(pid);
        break;
      }
      const auto it = all.find(up);
      up = it == all.end() ? 0 : it->second.ppid;
    }
  }
  return tree;
}

// CPU time (user + system) in seconds.
inline double TreeCpu(long root) {
  const auto all = Processes();
  double total = 0;
  for (long pid : Tree(root, all)) total += all.at(pid).cpu_s;
  return total;
}

// Proportional set size in MB.
inline double TreePssMb(long root) {
  long total_kb = 0;
  for (long pid : Tree(root, Processes())) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (rollup >> key) {
      if (key == "Pss:") {
        rollup >> value;
        total_kb += value;
        break;
      }
    }
  }
  return static_cast<double>(total_kb) / 1024.0;
}

}  // namespace qm::bench
