#include "tools/fv/package_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "tools/fv/board_version.h"
#include "tools/fv/fv_error.h"
#include "tools/fv/platform_package.h"
#include "tools/fv/sections.h"

namespace boardfv {

namespace {

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto at = text.find(separator, start);
    parts.push_back(Trim(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::optional<std::uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = c >= '0' && c <= '9'                 ? c - '0'
                      : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                           : -1;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  return value;
}

// {0x6B588D7C, 0xC72E, 0x4A78, {0x88, 0x58, 0x77, 0xE1, 0xDA, 0x8F, 0xC7, 0xF7}}
std::optional<Guid> ParseCFormatGuid(std::string_view text) {
  std::string flat;
  for (const char c : text)
    if (c != ' ' && c != '\t') flat += c;
  if (flat.size() < 4 || flat.substr(0, 1) != "{" || flat.substr(flat.size() - 2) != "}}") return std::nullopt;
  const auto inner = flat.find('{', 1);
  if (inner == std::string::npos) return std::nullopt;
  const auto head = Split(std::string_view(flat).substr(1, inner - 1), ',');
  const auto tail = Split(std::string_view(flat).substr(inner + 1, flat.size() - inner - 3), ',');
  if (head.size() != 4 || !head[3].empty() || tail.size() != 8) return std::nullopt;
  Guid guid;
  const int widths[] = {4, 2, 2};
  int at = 0;
  for (int field = 0; field < 3; ++field) {
    const auto value = Number(head[field]);
    if (!value || *value >> (8 * widths[field]) != 0 || head[field].substr(0, 2) != "0x") return std::nullopt;
    for (int i = 0; i < widths[field]; ++i) guid.bytes[at++] = static_cast<std::uint8_t>(*value >> (8 * i));
  }
  for (const auto &part : tail) {
    const auto value = Number(part);
    if (!value || *value > 0xFF || part.substr(0, 2) != "0x") return std::nullopt;
    guid.bytes[at++] = static_cast<std::uint8_t>(*value);
  }
  return guid;
}

bool Contains(std::span<const std::uint8_t> haystack, const Guid &guid) {
  return std::search(haystack.begin(), haystack.end(), guid.bytes.begin(), guid.bytes.end()) != haystack.end();
}

constexpr std::string_view kUsages[] = {"PRODUCES", "CONSUMES", "SOMETIMES_PRODUCES", "SOMETIMES_CONSUMES",
                                        "NOTIFY",   "TO_START", "BY_START",           "UNDEFINED"};
constexpr std::string_view kDecSections[] = {"Defines", "Includes", "Guids", "Protocols", "Ppis", "PcdsDynamic"};
constexpr std::string_view kInfSections[] = {"Defines",   "Packages", "Binaries", "Ppis",
                                             "Protocols", "Guids",    "Pcd",      "Depex"};

class Checker {
 public:
  void Problem(std::string_view where, int line, const std::string &what) {
    problems.push_back(std::string(where) + ":" + std::to_string(line) + ": " + what);
  }

  // KEY = VALUE lines of [Defines], each key once.
  std::map<std::string, std::string> Defines(const std::vector<BuildFileSection> &sections, std::string_view where,
                                             std::span<const std::string_view> required) {
    std::map<std::string, std::string> defines;
    for (const auto &section : sections) {
      if (section.name != "Defines") continue;
      for (const auto &entry : section.entries) {
        const auto equals = entry.text.find('=');
        if (equals == std::string::npos) {
          Problem(where, entry.line, "'" + entry.text + "' is not KEY = VALUE");
          continue;
        }
        const auto key = Trim(std::string_view(entry.text).substr(0, equals));
        if (!defines.emplace(key, Trim(std::string_view(entry.text).substr(equals + 1))).second)
          Problem(where, entry.line, key + " given twice");
      }
    }
    for (const auto key : required)
      if (!defines.contains(std::string(key))) Problem(where, 0, "[Defines] has no " + std::string(key));
    return defines;
  }

  std::vector<std::string> problems;
};

struct DecGuid {
  GuidKind kind;
  Guid value;
};
struct DecPcd {
  std::string datumType;
  std::uint64_t token = 0;
  std::uint64_t size = 0;
};

std::optional<GuidKind> KindOfSection(std::string_view name) {
  for (const GuidKind kind : {GuidKind::Guid, GuidKind::Protocol, GuidKind::Ppi})
    if (GuidSectionName(kind) == name) return kind;
  return std::nullopt;
}

// The size of a .dec default: a L"..." string with its NUL, or a UINT's width.
std::optional<std::uint64_t> DefaultSize(const std::string &datumType, const std::string &value) {
  if (datumType == "VOID*") {
    if (value.size() < 3 || value.substr(0, 2) != "L\"" || value.back() != '"') return std::nullopt;
    return (value.size() - 3 + 1) * 2;
  }
  const std::map<std::string, std::uint64_t> widths = {{"UINT8", 1}, {"UINT16", 2}, {"UINT32", 4}, {"UINT64", 8}};
  const auto width = widths.find(datumType);
  const auto number = Number(value);
  if (width == widths.end() || !number || (width->second < 8 && *number >> (8 * width->second) != 0))
    return std::nullopt;
  return width->second;
}

}  // namespace

std::vector<BuildFileSection> ParseBuildFile(std::string_view text, std::string_view where,
                                             std::span<const std::string_view> knownSections) {
  std::vector<BuildFileSection> sections;
  int lineNumber = 0;
  for (const auto &rawLine : Split(text, '\n')) {
    ++lineNumber;
    const auto hash = rawLine.find('#');
    const std::string body = Trim(std::string_view(rawLine).substr(0, hash));
    if (body.empty()) continue;
    const std::string at = std::string(where) + ":" + std::to_string(lineNumber);
    if (body.front() == '[') {
      if (body.back() != ']' || body.size() < 3) throw FvError(at + ": malformed section header '" + body + "'");
      const auto name = body.substr(1, body.size() - 2);
      const auto dot = name.find('.');
      BuildFileSection section{
          lineNumber, name.substr(0, dot), dot == std::string::npos ? "" : name.substr(dot + 1), {}};
      if (std::find(knownSections.begin(), knownSections.end(), section.name) == knownSections.end())
        throw FvError(at + ": unknown section [" + section.name + "]");
      sections.push_back(std::move(section));
      continue;
    }
    if (sections.empty()) throw FvError(at + ": '" + body + "' outside any section");
    BuildFileEntry entry{lineNumber, body, {}, {}};
    if (hash != std::string::npos && rawLine.compare(hash, 2, "##") == 0) {
      const auto comment = std::string_view(rawLine).substr(hash + 2);
      const auto second = comment.find("##");
      entry.usage = Trim(comment.substr(0, second));
      if (second != std::string_view::npos) entry.detail = Trim(comment.substr(second + 2));
    }
    sections.back().entries.push_back(std::move(entry));
  }
  return sections;
}

std::vector<std::string> CheckPlatformPackage(std::string_view dec, std::span<const ModuleFiles> modules) {
  Checker check;
  const std::string decName = "KrvBoardPkg.dec";

  // The .dec: its declarations, by C name.
  std::map<std::string, DecGuid> decGuids;
  std::map<std::string, DecPcd> decPcds;
  try {
    const auto sections = ParseBuildFile(dec, decName, kDecSections);
    constexpr std::string_view kDecDefines[] = {"DEC_SPECIFICATION", "PACKAGE_NAME", "PACKAGE_GUID", "PACKAGE_VERSION"};
    const auto defines = check.Defines(sections, decName, kDecDefines);
    if (defines.contains("PACKAGE_NAME") && defines.at("PACKAGE_NAME") != kPackageName)
      check.Problem(decName, 0, "PACKAGE_NAME is " + defines.at("PACKAGE_NAME") + ", not " + std::string(kPackageName));
    if (defines.contains("PACKAGE_GUID") && !Guid::Parse(defines.at("PACKAGE_GUID")))
      check.Problem(decName, 0, "PACKAGE_GUID " + defines.at("PACKAGE_GUID") + " is not a GUID");
    std::set<Guid, decltype([](const Guid &a, const Guid &b) { return a.bytes < b.bytes; })> values;
    for (const auto &section : sections) {
      const auto kind = KindOfSection(section.name);
      for (const auto &entry : section.entries) {
        if (kind) {
          const auto equals = entry.text.find('=');
          const auto value = equals == std::string::npos
                                 ? std::nullopt
                                 : ParseCFormatGuid(std::string_view(entry.text).substr(equals + 1));
          if (!value) {
            check.Problem(decName, entry.line, "'" + entry.text + "' is not CName = {C-format GUID}");
            continue;
          }
          const auto name = Trim(std::string_view(entry.text).substr(0, equals));
          if (!decGuids.emplace(name, DecGuid{*kind, *value}).second)
            check.Problem(decName, entry.line, name + " declared twice");
          if (!values.insert(*value).second)
            check.Problem(decName, entry.line, name + ": " + value->Text() + " declared under another name too");
        } else if (section.name == "PcdsDynamic") {
          const auto fields = Split(entry.text, '|');
          const auto dot = fields[0].find('.');
          const auto token = fields.size() == 4 ? Number(fields[3]) : std::nullopt;
          const auto size = fields.size() == 4 ? DefaultSize(fields[2], fields[1]) : std::nullopt;
          if (dot == std::string::npos || !token || !size) {
            check.Problem(decName, entry.line,
                          "'" + entry.text + "' is not TokenSpace.Name|Default|Type|Token with a default of its type");
            continue;
          }
          if (fields[0].substr(0, dot) != kTokenSpaceName)
            check.Problem(decName, entry.line, fields[0] + " is not in " + std::string(kTokenSpaceName));
          for (const auto &[other, pcd] : decPcds)
            if (pcd.token == *token) check.Problem(decName, entry.line, "token " + fields[3] + " also names " + other);
          if (!decPcds.emplace(fields[0].substr(dot + 1), DecPcd{fields[2], *token, *size}).second)
            check.Problem(decName, entry.line, fields[0] + " declared twice");
        }
      }
    }
  } catch (const FvError &error) {
    check.problems.push_back(error.what());
    return check.problems;
  }

  // The .dec against the firmware's constants.
  for (const auto &guid : PackageGuids()) {
    if (guid.inMdePackage) continue;
    const auto found = decGuids.find(std::string(guid.cName));
    if (found == decGuids.end() || found->second.kind != guid.kind) {
      check.Problem(decName, 0,
                    std::string(guid.cName) + " is not declared in [" + std::string(GuidSectionName(guid.kind)) + "]");
    } else if (!(found->second.value == guid.value)) {
      check.Problem(
          decName, 0,
          std::string(guid.cName) + " is " + found->second.value.Text() + ", the firmware's is " + guid.value.Text());
    }
  }
  if (!decGuids.contains(std::string(kTokenSpaceName)))
    check.Problem(decName, 0, "the token space " + std::string(kTokenSpaceName) + " is not declared");
  for (const auto &pcd : PackagePcds()) {
    const auto found = decPcds.find(std::string(pcd.cName));
    if (found == decPcds.end()) {
      check.Problem(decName, 0, std::string(pcd.cName) + " is not declared in [PcdsDynamic]");
    } else if (found->second.token != pcd.token || found->second.datumType != pcd.datumType ||
               found->second.size != pcd.size) {
      check.Problem(decName, 0,
                    std::string(pcd.cName) + " is declared as " + found->second.datumType + " of " +
                        std::to_string(found->second.size) + " bytes, token " + std::to_string(found->second.token) +
                        "; the modules use " + PcdUsageDetail(pcd));
    }
  }

  for (const auto &files : modules) {
    const auto &module = *files.module;
    const std::string infName = std::string(module.baseName) + ".inf";
    std::vector<BuildFileSection> sections;
    try {
      sections = ParseBuildFile(files.inf, infName, kInfSections);
    } catch (const FvError &error) {
      check.problems.push_back(error.what());
      continue;
    }
    constexpr std::string_view kInfDefines[] = {"INF_VERSION", "BASE_NAME", "FILE_GUID", "MODULE_TYPE",
                                                "VERSION_STRING"};
    const auto defines = check.Defines(sections, infName, kInfDefines);
    const std::pair<std::string_view, std::string> expected[] = {{"BASE_NAME", std::string(module.baseName)},
                                                                 {"FILE_GUID", module.fileGuid.Text()},
                                                                 {"MODULE_TYPE", std::string(module.moduleType)},
                                                                 {"VERSION_STRING", std::string(kBoardVersionString)}};
    for (const auto &[key, value] : expected) {
      const auto found = defines.find(std::string(key));
      if (found != defines.end() && found->second != value)
        check.Problem(infName, 0, std::string(key) + " is " + found->second + ", not " + value);
    }

    std::set<std::string> packages;
    std::set<std::string> binaries;
    std::set<std::string> named;  // GUID C names the INF lists
    std::set<std::uint64_t> tokens;
    std::string depexExpression;
    for (const auto &section : sections) {
      for (const auto &entry : section.entries) {
        if (section.name == "Packages") packages.insert(entry.text);
        if (section.name == "Depex") depexExpression += (depexExpression.empty() ? "" : " ") + entry.text;
        if (section.name == "Binaries") {
          if (section.arch != module.architecture)
            check.Problem(infName, section.line,
                          "[Binaries." + section.arch + "] for an " + std::string(module.architecture) + " module");
          binaries.insert(entry.text);
        }
        const bool usageSection = KindOfSection(section.name) || section.name == "Pcd";
        if (!usageSection) continue;
        if (std::find(std::begin(kUsages), std::end(kUsages), entry.usage) == std::end(kUsages))
          check.Problem(infName, entry.line,
                        entry.text + ": usage '" + entry.usage + "' is none of PRODUCES, CONSUMES, ...");
        if (section.name == "Pcd") {
          const auto dot = entry.text.find('.');
          const auto name = entry.text.substr(dot == std::string::npos ? 0 : dot + 1);
          const auto declared = decPcds.find(name);
          if (dot == std::string::npos || entry.text.substr(0, dot) != kTokenSpaceName || declared == decPcds.end()) {
            check.Problem(infName, entry.line, entry.text + " is not declared in " + decName);
            continue;
          }
          const auto *ours = FindPackagePcd(name);
          const std::string detail =
              declared->second.datumType + " " + std::to_string(declared->second.size) + " bytes, token 0x" + [&] {
                char hex[20];
                std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(declared->second.token));
                return std::string(hex);
              }();
          if (entry.detail != detail)
            check.Problem(infName, entry.line,
                          entry.text + " says '" + entry.detail + "', " + decName + " '" + detail + "'");
          if (ours != nullptr) tokens.insert(ours->token);
          continue;
        }
        const auto kind = *KindOfSection(section.name);
        const auto declared = decGuids.find(entry.text);
        const auto *mde = FindPackageGuid(entry.text);
        const bool inDec = declared != decGuids.end() && declared->second.kind == kind;
        const bool inMde = mde != nullptr && mde->inMdePackage && mde->kind == kind &&
                           packages.contains(std::string(kMdePackageDecPath));
        if (!inDec && !inMde)
          check.Problem(infName, entry.line,
                        entry.text + " is declared in [" + section.name + "] of neither " + decName + " nor MdePkg");
        named.insert(entry.text);
      }
    }
    for (const auto path : {kMdePackageDecPath, kPackageDecPath})
      if (!packages.contains(std::string(path)))
        check.Problem(infName, 0, "[Packages] does not list " + std::string(path));
    for (const auto &binary : {std::string(module.imageBinaryType) + "|" + std::string(module.imageFileName) + "|*",
                               std::string(module.depexBinaryType) + "|" + std::string(module.baseName) + ".depex|*"})
      if (!binaries.contains(binary)) check.Problem(infName, 0, "[Binaries] does not list " + binary);

    // The INF against the image: the GUIDs it holds are the GUIDs it names.
    for (const auto &guid : PackageGuids()) {
      if (guid.value == kTokenSpaceGuid) continue;
      const bool inImage = Contains(files.image, guid.value);
      const bool inInf = named.contains(std::string(guid.cName));
      if (inImage && !inInf)
        check.Problem(infName, 0,
                      std::string(module.imageFileName) + " uses " + std::string(guid.cName) + " (" +
                          guid.value.Text() + "), which the INF does not name");
      if (inInf && !inImage)
        check.Problem(
            infName, 0,
            "names " + std::string(guid.cName) + ", which " + std::string(module.imageFileName) + " does not hold");
    }
    std::set<std::uint64_t> used;
    for (const auto &use : UsesOf(module).pcds) used.insert(FindPackagePcd(use.cName)->token);
    if (tokens != used) check.Problem(infName, 0, "[Pcd] does not list exactly the PCD tokens the module uses");

    // The depex file is the [Depex] expression.
    std::vector<std::uint8_t> expectedDepex;
    if (depexExpression == "TRUE") {
      expectedDepex = DepexTrue();
    } else if (const auto *guid = FindPackageGuid(depexExpression); guid != nullptr) {
      const auto declared = decGuids.find(depexExpression);
      expectedDepex = DepexPushGuid(declared != decGuids.end() ? declared->second.value : guid->value);
    } else {
      check.Problem(infName, 0, "[Depex] '" + depexExpression + "' is neither TRUE nor a GUID the package knows");
    }
    if (!expectedDepex.empty() && expectedDepex != files.depex)
      check.Problem(
          infName, 0,
          std::string(module.baseName) + ".depex does not hold the [Depex] expression '" + depexExpression + "'");
  }
  return check.problems;
}

}  // namespace boardfv
