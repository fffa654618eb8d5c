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

// Proportional set size of one process in MB; 0 when it has gone.
inline double PssMb(long pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  long value = 0;
  while (rollup >> key) {
    if (key == "Pss:") {
      rollup >> value;
      break;
    }
  }
  return static_cast<double>(value) / 1024.0;
}

// Proportional set size of the tree in MB.
inline double TreePssMb(long root) {
  double total = 0;
  for (long pid : Tree(root, Processes())) total += PssMb(pid);
  return total;
}

// What a process of the tree is: "program" for the root, else the web engine's process
// type ("zygote", "utility: audio.mojom.AudioService", ...); a renderer is forked from a
// zygote and keeps its command line, so a zygote's child is called "renderer".
inline std::string Role(long pid, long root, const std::map<long, ProcStat>& all) {
  if (pid == root) return "program";
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
  std::string word, type, sub;
  while (std::getline(in, word, '\0')) {
    if (word.rfind("--type=", 0) == 0) type = word.substr(7);
    if (word.rfind("--utility-sub-type=", 0) == 0) sub = word.substr(19);
  }
  if (type == "zygote") {
    const auto parent = all.find(all.at(pid).ppid);
    if (parent != all.end() && parent->first != root) return "renderer";
  }
  if (type.empty()) return "other";
  return sub.empty() ? type : type + ": " + sub;
}

struct ProcessPss {
  long pid;
  std::string role;
  double pss_mb;
};

// Every process of the tree with its role and PSS, the root first.
inline std::vector<ProcessPss> TreePssTable(long root) {
  const auto all = Processes();
  std::vector<ProcessPss> table;
  for (long pid : Tree(root, all)) table.push_back({pid, Role(pid, root, all), PssMb(pid)});
  return table;
}

inline double TotalPssMb(const std::vector<ProcessPss>& table) {
  double total = 0;
  for (const auto& process : table) total += process.pss_mb;
  return total;
}

}  // namespace qm::bench
