#include "batch/cli/options.h"

#include <cctype>
#include <cmath>
#include <functional>
#include <map>

namespace {

std::optional<int> parseCount(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  const int value = std::stoi(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

using Setter = std::function<std::string(BatchOptions&, const std::string&)>;

struct OptionRule {
  char shortName;  // 0 when there is none
  bool takesValue;
  Setter set;  // returns an error, or empty
};

// --plan, --run-planned and --collect: each takes a directory and excludes
// the others.
Setter modeSetter(BatchOptions::Action mode, const std::string& name) {
  return [mode, name](BatchOptions& o, const std::string& v) -> std::string {
    using A = BatchOptions::Action;
    if (o.action == A::kPlan || o.action == A::kRunPlanned || o.action == A::kCollect)
      return "--plan, --run-planned and --collect exclude each other";
    o.action = mode;
    o.planDirectory = v;
    return v.empty() ? name + " wants a directory" : "";
  };
}

const std::map<std::string, OptionRule>& rules() {
  using A = BatchOptions::Action;
  static const std::map<std::string, OptionRule> table = {
      {"jobs",
       {'j', true,
        [](BatchOptions& o, const std::string& v) -> std::string {
          const auto n = parseCount(v, 1, 4096);
          if (!n) return "--jobs wants a whole number from 1 to 4096, not '" + v + "'";
          o.jobs = *n;
          return "";
        }}},
      {"memory",
       {'m', true,
        [](BatchOptions& o, const std::string& v) -> std::string {
          const auto bytes = parseByteSize(v);
          if (!bytes) return "--memory wants a size such as 6G or 800M, not '" + v + "'";
          o.memoryBytes = *bytes;
          return "";
        }}},
      {"items-per-run",
       {'n', true,
        [](BatchOptions& o, const std::string& v) -> std::string {
          const auto n = parseCount(v, 1, kMaxItemsPerRun);
          if (!n) return "--items-per-run wants a whole number from 1 to 1004, not '" + v + "'";
          o.itemsPerRun = *n;
          return "";
        }}},
      {"resume",
       {0, false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.resume = true;
          return "";
        }}},
      {"plan", {0, true, modeSetter(A::kPlan, "--plan")}},
      {"run-planned", {0, true, modeSetter(A::kRunPlanned, "--run-planned")}},
      {"collect", {0, true, modeSetter(A::kCollect, "--collect")}},
      {"stall",
       {0, true,
        [](BatchOptions& o, const std::string& v) -> std::string {
          const auto n = parseCount(v, 0, 100000000);
          if (!n) return "--stall wants a number of seconds, 0 for none, not '" + v + "'";
          o.stallSeconds = *n;
          return "";
        }}},
      {"postergen",
       {0, true,
        [](BatchOptions& o, const std::string& v) -> std::string {
          o.postergen = v;
          return v.empty() ? "--postergen wants a path" : "";
        }}},
      {"strict",
       {0, false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.strict = true;
          return "";
        }}},
      {"no-contact-sheet",
       {0, false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.contactSheet = false;
          return "";
        }}},
      {"quiet",
       {'q', false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.quiet = true;
          return "";
        }}},
      {"help",
       {'h', false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.action = A::kHelp;
          return "";
        }}},
      {"version",
       {0, false,
        [](BatchOptions& o, const std::string&) -> std::string {
          o.action = A::kVersion;
          return "";
        }}},
  };
  return table;
}

const std::pair<const std::string, OptionRule>* byShortName(char c) {
  for (const auto& entry : rules())
    if (entry.second.shortName == c) return &entry;
  return nullptr;
}

}  // namespace

std::optional<int64_t> parseByteSize(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
    ++i;
  const std::string number = text.substr(0, i);
  if (number.empty() || number == "." || number.find('.') != number.rfind('.') ||
      number.size() > 15)
    return std::nullopt;
  std::string unit;
  for (char c : text.substr(i))
    unit += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const std::map<std::string, int> shifts = {
      {"", 0},     {"B", 0},  {"K", 10},  {"KB", 10},  {"KIB", 10}, {"M", 20},  {"MB", 20},
      {"MIB", 20}, {"G", 30}, {"GB", 30}, {"GIB", 30}, {"T", 40},   {"TB", 40}, {"TIB", 40}};
  const auto shift = shifts.find(unit);
  if (shift == shifts.end()) return std::nullopt;
  const double bytes = std::stod(number) * std::ldexp(1.0, shift->second);
  if (!(bytes >= 1) || bytes > 9.0e18) return std::nullopt;
  return static_cast<int64_t>(bytes);
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  std::vector<std::string> positional;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    const std::pair<const std::string, OptionRule>* option = nullptr;
    std::optional<std::string> attached;
    if (arg[1] == '-') {
      const size_t equals = arg.find('=');
      const auto found =
          rules().find(arg.substr(2, equals == std::string::npos ? equals : equals - 2));
      if (found == rules().end()) return fail("unknown option '" + arg + "'");
      option = &*found;
      if (equals != std::string::npos) attached = arg.substr(equals + 1);
    } else {
      option = byShortName(arg[1]);
      if (!option) return fail("unknown option '" + arg + "'");
      if (arg.size() > 2) attached = arg.substr(2);
    }
    const std::string name = "--" + option->first;
    std::string value;
    if (option->second.takesValue) {
      if (attached) {
        value = *attached;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return fail(name + " wants a value");
      }
    } else if (attached) {
      return fail(name + " takes no value");
    }
    const std::string error = option->second.set(parsed.options, value);
    if (!error.empty()) return fail(error);
  }
  if (positional.size() > 1)
    return fail("one DIRECTORY at most, not " + std::to_string(positional.size()));
  if (!positional.empty()) {
    if (parsed.options.action == BatchOptions::Action::kCollect ||
        parsed.options.action == BatchOptions::Action::kRunPlanned)
      return fail(std::string(parsed.options.action == BatchOptions::Action::kCollect
                                  ? "--collect"
                                  : "--run-planned") +
                  " takes no DIRECTORY: the plan knows where its posters go");
    parsed.options.directory = positional[0];
  }
  return parsed;
}

std::string usageText() {
  return R"text(Usage: postergen-batch [OPTIONS] [DIRECTORY]          (DIRECTORY defaults to .)
       postergen-batch --plan DIR [OPTIONS] [DIRECTORY]
       postergen-batch --run-planned RUN
       postergen-batch --collect DIR
Makes every poster of DIRECTORY, laid out as postergen's working directory, with
as many postergen runs as it takes, several at once.
  -j, --jobs N           postergen processes at once, each on its share of the
                         CPUs (default: one for every two CPUs it may use, at
                         most one per item)
  -m, --memory SIZE      memory for all of them together, e.g. 6G or 800M
                         (default: 80% of available memory)
  -n, --items-per-run K  at most K items per postergen run, 1..1004 (default 1004)
      --resume           skip each item whose result<i>.png is whole and newer than
                         all of its inputs
      --stall SECONDS    end a run that logs nothing this long (default 600, 0: never)
      --strict           count an item that postergen warned of (a damaged photograph,
                         characters the font lacks, ...) as failed
      --plan DIR         write the runs as working directories under DIR, print each
                         one's path on its own line, and run nothing
      --run-planned RUN  run one planned run directory, as one task of a cluster job,
                         retrying failing items in halves; 0 when all were made
      --collect DIR      after the planned runs have run: move their posters home,
                         report the items without one, remove DIR
      --no-contact-sheet do not write DIRECTORY/contact-sheet.html, the page that shows
                         every item's thumbnail, caption, warnings or failure
      --postergen PATH   the postergen to run (default: the one beside postergen-batch,
                         else the one on PATH)
  -q, --quiet            no progress display
  -h, --help             the whole help
      --version          the version
Exit status: 0 every poster written, 1 some items failed, 2 usage error or a batch
that cannot run (or its directory is in use by another postergen-batch); 130, 143
or 129 when stopped by SIGINT, SIGTERM or SIGHUP (on Windows, Ctrl-C's own status).
)text";
}

std::string helpText() {
  return usageText() + R"text(
How it works:
  Each item is checked first, without running postergen: an input that is no
  regular file (a FIFO, a device, a directory), a missing photograph, or one
  whose header postergen would refuse fails its item at once with the reason.
  Consecutive items are planned into runs within each job's share of --memory
  (a run's fixed cost plus width x height x 4 bytes per photograph). When that
  share shapes the plan, a preflight run with no items first measures the fixed
  cost; else the runs start at once. A preflight checks font.ttf and bg.png
  before the runs, or when a run fails before the first poster is home.
  Runs work in DIRECTORY/.postergen-batch/, which the batch makes itself and
  writes only through folders it holds open. An item is done when its poster
  is moved home to result<i>.png, whole (across drives: copied beside it,
  flushed, renamed). A run that fails, or logs nothing for --stall seconds,
  is run again for the items it did not write, in halves, until each failing
  item has run alone; the summary names each as "item <i>: <postergen's
  message> (<status and its meaning>)", and the logs of the runs that failed
  stay in .postergen-batch/logs/. postergen's warnings are listed under their
  items. One batch at a time works in a directory: a second one (or --plan or
  --collect) refuses at once, naming the first's process ID. Ctrl-C ends the
  runs, moves home what they finished and reports; --resume carries on.
  At the end DIRECTORY/contact-sheet.html shows every item: a thumbnail of its
  poster (in DIRECTORY/contact-sheet/), its caption, warnings or failure.
Over several machines (a file system all of them see):
  postergen-batch --plan /shared/plan -n 50 -j 1 --memory 4G /shared/posters > runs.txt
  then, for each line RUN of runs.txt, anywhere:  postergen-batch --run-planned RUN
  and at the end:  postergen-batch --collect /shared/plan
  With nothing to plan, --plan prints no path and makes no plan.
Environment: passed to postergen unchanged. SDL_VIDEODRIVER=dummy makes each
  postergen use SDL's software renderer; SDL_RENDER_SCALE_QUALITY=linear scales
  with linear filtering (less moire on fine patterns; posters then differ from
  the default's).
)text";
}
