#include "tools/bench/bench_table.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace boardbench {
namespace {

using Json = nlohmann::ordered_json;

void Flatten(const Json &value, const std::string &path, std::vector<std::pair<std::string, double>> &out) {
  if (value.is_object()) {
    for (const auto &[key, child] : value.items()) Flatten(child, path.empty() ? key : path + "/" + key, out);
  } else if (value.is_number()) {
    out.emplace_back(path, value.get<double>());
  }
}

const Json *Find(const Json &root, const std::string &path) {
  const Json *at = &root;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    const std::string key = path.substr(begin, end - begin);
    if (!at->is_object() || !at->contains(key)) return nullptr;
    at = &(*at)[key];
    begin = end + 1;
  }
  return at;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

}  // namespace

std::string FormatTable(const Json &figures, const Json &baseline) {
  std::vector<std::pair<std::string, double>> rows;
  Flatten(figures, "", rows);
  std::string table;
  char line[256];
  std::snprintf(line, sizeof line, "%-64s %10s %10s %10s\n", "figure", "now", "baseline", "change");
  table += line;
  for (const auto &[path, value] : rows) {
    const Json *old = Find(baseline, path);
    std::string before = "-";
    std::string change = "-";
    if (old != nullptr && old->is_number()) {
      const double was = old->get<double>();
      before = Number(was);
      if (value == was)
        change = "=";
      else if (path.rfind("boots_per_second/", 0) == 0 && was != 0)
        change = (value > was ? "+" : "") + Number((value - was) / was * 100) + "%";
      else
        change = (value > was ? "+" : "") + Number(value - was);
    }
    std::snprintf(line, sizeof line, "%-64s %10s %10s %10s\n", path.c_str(), Number(value).c_str(), before.c_str(),
                  change.c_str());
    table += line;
  }
  return table;
}

}  // namespace boardbench
