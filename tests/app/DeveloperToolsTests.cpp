// The developer tools' own logic on the in-memory desktop: the probe's rows and JSON and the
// snapshot run's exchange with a capture tool. The files each switch writes are checked in the
// private desktop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>

#include "WidgetApp.hpp"
#include "app/launch/Diagnosis.hpp"
#include "app/tools/CompatibilityProbe.hpp"
#include "app/tools/SettingsSnapshots.hpp"
#include "app/tools/ToolOutput.hpp"
#include "platform/desktop/PackageVersions.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"

namespace tovrel::tools {
namespace {

namespace fs = std::filesystem;
using platform::Rect;
using platform::fake::FakeAccessibility;
using Rows = std::vector<CompatibilityProbe::Row>;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Applications on the in-memory desktop, each with a front window of buttons and fields.
struct ProbeScene {
  platform::fake::FakeDesktop desktop;
  DiscoveryServices services = DiscoveryServices::of(desktop.platform);
  std::vector<std::string> versionsAsked;

  void app(std::int32_t pid, const std::string& id, int buttons, int fields) {
    desktop.workspace.apps.push_back({pid, id, id, std::nullopt});
    auto& ax = desktop.accessibility;
    const auto application = ax.addApplication(pid);
    ax.setWriteResult(application, "AXManualAccessibility",
                      platform::AXError::attributeUnsupported);
    const auto window = ax.add(application, "AXWindow", Rect{100, 100, 800, 600});
    ax.set(window, "AXSubrole", std::string("AXStandardWindow"));
    ax.set(application, "AXFocusedWindow", FakeAccessibility::Ref{window});
    for (int i = 0; i < buttons; ++i)
      ax.set(ax.add(window, "AXButton", Rect{120.0 + 90 * i, 140, 80, 24}, {"AXPress"}), "AXTitle",
             "B" + std::to_string(i));
    for (int i = 0; i < fields; ++i)
      ax.set(ax.add(window, "AXTextField", Rect{120.0 + 90 * i, 300, 80, 24}, {}), "AXTitle",
             "F" + std::to_string(i));
  }

  Rows probe(std::vector<std::string> ids) {
    std::optional<Rows> rows;
    CompatibilityProbe::probe(
        services, std::move(ids),
        [this](const platform::RunningApplication& app) {
          versionsAsked.push_back(app.bundleIdentifier);
          return "v-" + std::to_string(app.pid);
        },
        [&](Rows result) { rows = std::move(result); });
    desktop.advance(2);
    EXPECT_TRUE(rows.has_value()) << "the probe never finished";
    return rows.value_or(Rows{});
  }
};

TEST(CompatibilityProbe, OneRowPerIdentifierInTheirOrder) {
  ProbeScene scene;
  scene.app(7001, "editor", 2, 1);
  scene.app(7002, "twin", 3, 0);
  scene.app(7003, "twin", 1, 0);  // a second instance is never probed
  struct Case {
    std::vector<std::string> ids;
    std::vector<std::pair<std::string, int>> idAndTargets;  // -1: not running
  };
  const Case cases[] = {
      {{}, {}},
      {{"missing"}, {{"missing", -1}}},
      {{"twin", "missing", "editor", "twin"},
       {{"twin", 3}, {"missing", -1}, {"editor", 3}, {"twin", 3}}},
  };
  for (const Case& c : cases) {
    const Rows rows = scene.probe(c.ids);
    ASSERT_EQ(rows.size(), c.idAndTargets.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& [id, targets] = c.idAndTargets[i];
      SCOPED_TRACE(id + " at " + std::to_string(i));
      EXPECT_EQ(rows[i].bundleID, id);
      EXPECT_EQ(rows[i].running, targets >= 0);
      if (targets < 0) {
        CompatibilityProbe::Row absent;
        absent.bundleID = id;
        EXPECT_EQ(rows[i], absent);
        continue;
      }
      EXPECT_TRUE(rows[i].foundWindow);
      EXPECT_EQ(rows[i].targets, targets);
      EXPECT_GE(rows[i].visitedNodes, targets + 1);
      EXPECT_EQ(rows[i].version, id == "twin" ? "v-7002" : "v-7001");
    }
  }
  EXPECT_EQ(scene.probe({"editor"})[0].roles,
            (std::map<std::string, int>{{"AXButton", 2}, {"AXTextField", 1}}));
  // Not-running identifiers cost no version lookup.
  EXPECT_EQ(std::count(scene.versionsAsked.begin(), scene.versionsAsked.end(), "missing"), 0);
}

TEST(CompatibilityProbe, JsonIsAnArrayOfRowsWithSortedKeys) {
  Rows rows(2);
  rows[0] = {"a.b", "1.2", true, true, 4, 12.5, 40, true, {{"AXLink", 3}, {"AXButton", 1}}, 2};
  rows[1].bundleID = "gone";
  EXPECT_EQ(CompatibilityProbe::encode({}), "[\n]\n");
  const std::string text = CompatibilityProbe::encode(rows);
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  ASSERT_TRUE(document.isArray()) << text;
  const QJsonArray array = document.array();
  ASSERT_EQ(array.size(), 2);
  const QStringList keys{"bundleID", "covered", "foundWindow", "milliseconds", "roles",
                         "running",  "targets", "truncated",   "version",      "visitedNodes"};
  for (const auto& value : array)
    EXPECT_EQ(value.toObject().keys(), keys);
  EXPECT_EQ(array[0].toObject()["roles"].toObject(), (QJsonObject{{"AXButton", 1}, {"AXLink", 3}}));
  EXPECT_EQ(array[0].toObject()["milliseconds"].toDouble(), 12.5);
  // Written in that order too, rows in theirs.
  std::size_t last = 0;
  for (const QString& key : keys) {
    const std::size_t at = text.find('"' + key.toStdString() + '"');
    ASSERT_NE(at, std::string::npos) << key.toStdString();
    EXPECT_GT(at, last) << key.toStdString();
    last = at;
  }
  EXPECT_LT(text.find("a.b"), text.find("gone"));
}

TEST(PackageVersions, TheFirstOwnerOfASearchAnswer) {
  const std::pair<const char*, std::optional<std::string>> rows[] = {
      {"coreutils: /bin/ls\n", "coreutils"},
      {"libc6:amd64, libc6:i386: /lib/x.so\n", "libc6"},
      {"diversion by dash from: /bin/sh\ndiversion by dash to: /bin/sh.distrib\n"
       "dash: /bin/sh\n",
       "dash"},
      {"", std::nullopt},
      {"no owner here\n", std::nullopt},
  };
  for (const auto& [output, package] : rows)
    EXPECT_EQ(platform::desktop::owningPackage(output), package) << output;
}

// The in-memory desktop with a settings model's needs, and a capture tool inside the test.
struct SnapshotScene {
  SnapshotScene() { testapp::ensureWidgetApp(); }
  // The run sets the application's palette for each variant; later tests get theirs back.
  ~SnapshotScene() { QApplication::setPalette(palette); }

  // Runs the snapshots; the capture tool answers every request but those named in `unanswered`.
  std::optional<std::string> run(const fs::path& directory, std::set<std::string> unanswered = {}) {
    QTimer capture;
    capture.setInterval(2);
    QObject::connect(&capture, &QTimer::timeout, [&] {
      const std::string request = readFile(directory / "request");
      if (request.empty() || (!requests.empty() && requests.back() == request)) return;
      requests.push_back(request);
      const std::string name = request.substr(request.find(' ') + 1);
      if (!unanswered.contains(name)) std::ofstream(directory / (name + ".png")) << "png";
    });
    capture.start();
    std::optional<std::optional<std::string>> result;
    QEventLoop loop;
    SettingsSnapshots::run(
        directory, desktop.platform, loginItems, nullptr,
        [&](const std::string& line) { notes.push_back(line); },
        [&](std::optional<std::string> problem) {
          result = std::move(problem);
          loop.quit();
        },
        {.settle = std::chrono::milliseconds(0),
         .poll = std::chrono::milliseconds(2),
         .timeout = std::chrono::milliseconds(150)});
    if (!result) {
      QTimer::singleShot(20000, &loop, &QEventLoop::quit);
      loop.exec();
    }
    EXPECT_TRUE(result.has_value()) << "the run never ended";
    return result.value_or("did not end");
  }

  QPalette palette = QApplication::palette();
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::vector<std::string> requests;
  std::vector<std::string> notes;
};

std::set<std::string> scratchStores() {
  std::set<std::string> names;
  for (const QString& name :
       QDir::temp().entryList({QStringLiteral("tovrel-snapshot-*.json")}, QDir::Files))
    names.insert(name.toStdString());
  return names;
}

TEST(SettingsSnapshots, AsksForEveryPageInEveryVariantAndCleansUp) {
  const auto names = SettingsSnapshots::pictureNames();
  ASSERT_EQ(names.size(), 15u);
  EXPECT_EQ(names.front(), "settings-clicking-light");
  EXPECT_EQ(names[6], "settings-scrolling-dark");
  EXPECT_EQ(names.back(), "settings-about-narrow");
  EXPECT_EQ(SettingsSnapshots::requestText(4194305, "settings-about-narrow"),
            "4194305 settings-about-narrow");

  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const fs::path directory = fs::path(folder.path().toStdString()) / "made" / "for it";
  const auto storesBefore = scratchStores();
  SnapshotScene scene;
  EXPECT_EQ(scene.run(directory, {"settings-general-dark"}), std::nullopt);

  ASSERT_EQ(scene.requests.size(), 15u);
  const std::string window = scene.requests[0].substr(0, scene.requests[0].find(' '));
  EXPECT_FALSE(window.empty());
  for (std::size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(scene.requests[i], window + " " + names[i]);
  for (const std::string& name : names)
    EXPECT_EQ(fs::exists(directory / (name + ".png")), name != "settings-general-dark") << name;
  EXPECT_FALSE(fs::exists(directory / "request"));
  ASSERT_EQ(scene.notes.size(), 1u);
  EXPECT_NE(scene.notes[0].find("settings-general-dark.png"), std::string::npos);
  EXPECT_EQ(scratchStores(), storesBefore);
}

// --- where outputs go ----------------------------------------------------------------------------

// A writer as a script sees it: what it writes, and nothing or what it said when it could not.
struct Writer {
  const char* name;
  bool replaces;  // a reader of the old file goes on reading it whole
  std::string bytes;
  std::function<std::optional<std::string>(const std::string&)> write;
};

std::vector<Writer> writers() {
  PermissionReport ready;
  ready.activeTapCreatable = true;
  auto diagnose = [ready](const std::string& path) -> std::optional<std::string> {
    auto close = [](std::FILE* file) { std::fclose(file); };
    std::unique_ptr<std::FILE, decltype(close)> out(std::tmpfile(), close),
        errors(std::tmpfile(), close);
    const int status = launch::writeDiagnosis(ready, {path}, out.get(), errors.get());
    EXPECT_EQ(std::ftell(out.get()), 0);
    std::string said(static_cast<std::size_t>(std::ftell(errors.get())), '\0');
    std::rewind(errors.get());
    EXPECT_EQ(std::fread(said.data(), 1, said.size(), errors.get()), said.size());
    EXPECT_EQ(status, said.empty() ? 0 : 1) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), said.empty() ? 0 : 1) << said;
    return said.empty() ? std::nullopt : std::optional(said);
  };
  return {
      {"atomic", true, "new", [](const std::string& path) { return writeAtomically(path, "new"); }},
      {"direct", false, "new", [](const std::string& path) { return writeDirectly(path, "new"); }},
      {"diagnosis", true, ready.toPrettyJson(), diagnose}};
}

TEST(ToolOutput, EachKindOfPathGetsTheOutputOrAReason) {
  std::vector<int> held;  // terminals' other ends and logs, open while the rows run
  // A log opened for appending, which already holds a line: by the shell with ">>", handed over
  // as the program starts, or by the program itself.
  auto openLog = [&held](const fs::path& folder, const char* name, bool handed) {
    std::ofstream(folder / name) << "held\n";
    held.push_back(::open((folder / name).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (handed) takeHandedDescriptors();
    return held.back();
  };
  auto appendedLog = [&](const fs::path& folder) {
    return std::to_string(openLog(folder, "log", true));
  };
  const struct {
    const char* name;
    std::function<fs::path(const fs::path& folder)> prepare;  // the path to write
    const char* lands;  // where the output is read back in the folder (and is not, when refused)
    std::optional<fs::perms> mode;
    const char* reason;  // nullptr: written
    const char* kept;    // what stays in front of the output; nullptr: it replaces everything
  } rows[] = {
      // Latin-1 and bytes no encoding uses: nothing may stand in for them.
      {"a new file with an odd name", [](const fs::path& f) { return f / "caf\xe9-\xff\xfe"; },
       "caf\xe9-\xff\xfe", fs::perms(0640), nullptr, nullptr},
      {"a chain of links to a file",
       [](const fs::path& f) {
         fs::create_directories(f / "real");
         std::ofstream(f / "real" / "out") << std::string(4096, 'x');
         fs::permissions(f / "real" / "out", fs::perms(0604));
         fs::create_symlink("real/out", f / "relative");
         fs::create_symlink(f / "relative", f / "link");
         return f / "link";
       },
       "real/out", fs::perms(0604), nullptr, nullptr},
      {"a link to nothing yet",
       [](const fs::path& f) {
         fs::create_symlink("new", f / "dangling");
         return f / "dangling";
       },
       "new", fs::perms(0640), nullptr, nullptr},
      {"a named pipe",
       [](const fs::path& f) {
         ::mkfifo((f / "pipe").c_str(), 0600);
         return f / "pipe";
       },
       "pipe", std::nullopt, nullptr, nullptr},
      {"a link to a named pipe",
       [](const fs::path& f) {
         ::mkfifo((f / "pipe").c_str(), 0600);
         fs::create_symlink("pipe", f / "link");
         return f / "link";
       },
       "pipe", std::nullopt, nullptr, nullptr},
      // What /dev/stdout leads to at a prompt; no file can be made where it lives.
      {"a terminal",
       [&held](const fs::path&) {
         const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
         held.push_back(master);
         return fs::path(::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master)
                                                                           : "");
       },
       nullptr, std::nullopt, nullptr, nullptr},
      // What "--diagnose-file /dev/stdout >> log" names.
      {"a log open for appending, by /dev/fd",
       [&](const fs::path& f) { return "/dev/fd/" + appendedLog(f); }, "log", std::nullopt, nullptr,
       "held\n"},
      {"a log open for appending, by /proc/self/fd",
       [&](const fs::path& f) { return "/proc/self/fd/" + appendedLog(f); }, "log", std::nullopt,
       nullptr, "held\n"},
      {"a link to a log's descriptor",
       [&](const fs::path& f) {
         fs::create_symlink("/dev/fd/" + appendedLog(f), f / "link");
         return f / "link";
       },
       "log", std::nullopt, nullptr, "held\n"},
      {"a handed descriptor closed since",
       [](const fs::path&) {
         // Far above the numbers the next files opened get.
         const int closed = ::fcntl(0, F_DUPFD_CLOEXEC, 900);
         takeHandedDescriptors();
         ::close(closed);
         return "/dev/fd/" + std::to_string(closed);
       },
       nullptr, std::nullopt, std::strerror(EBADF), nullptr},
      // The program's own descriptors (its display's connection, its bus) are never the caller's.
      {"a descriptor the program opened itself",
       [&](const fs::path& f) { return "/dev/fd/" + std::to_string(openLog(f, "log", false)); },
       "log", std::nullopt, "was not open when Tovrel started", "held\n"},
      {"a handed descriptor closed and its number taken by the program's own",
       [&](const fs::path& f) {
         const int log = openLog(f, "log", true);
         const int own = openLog(f, "own", false);
         ::dup2(own, log);
         return "/dev/fd/" + std::to_string(log);
       },
       "own", std::nullopt, "no longer leads where it led", "held\n"},
      {"a missing folder", [](const fs::path& f) { return f / "missing" / "out"; }, nullptr,
       std::nullopt, std::strerror(ENOENT), nullptr},
      {"a folder", [](const fs::path& f) { return f; }, nullptr, std::nullopt, "it is a folder",
       nullptr},
      {"a socket",
       [](const fs::path& f) {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strncpy(address.sun_path, (f / "socket").c_str(), sizeof address.sun_path - 1);
         const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
         ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
         ::close(socket);
         return f / "socket";
       },
       nullptr, std::nullopt, "it is a socket", nullptr},
  };
  QTemporaryDir scratch;
  const mode_t mask = ::umask(027);
  int made = 0;
  for (const Writer& writer : writers()) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(writer.name) + ", " + row.name);
      const fs::path folder = fs::path(scratch.path().toStdString()) / std::to_string(++made);
      fs::create_directories(folder);
      const fs::path path = row.prepare(folder);
      // What the path is, and what it leads to.
      auto kinds = [&] {
        return std::pair(fs::symlink_status(path).type(), fs::status(path).type());
      };
      const auto before = kinds();
      const fs::path lands = row.lands ? folder / row.lands : fs::path();
      const std::string old = fs::is_regular_file(lands) ? readFile(lands) : "";
      std::ifstream oldReader;
      if (!old.empty()) oldReader.open(lands, std::ios::binary);
      // The pipe's reader is there while the output is written, and does not wait: a writer that
      // replaced the pipe instead leaves it empty rather than the test hanging.
      const int pipe = fs::is_fifo(lands) ? ::open(lands.c_str(), O_RDONLY | O_NONBLOCK) : -1;

      const auto said = writer.write(path.string());
      std::string piped;
      char buffer[4096];
      for (ssize_t count; pipe >= 0 && (count = ::read(pipe, buffer, sizeof buffer)) > 0;)
        piped.append(buffer, static_cast<std::size_t>(count));
      if (pipe >= 0) ::close(pipe);
      if (before.second != fs::file_type::not_found) {
        EXPECT_EQ(kinds(), before) << "what was there stays";
      }
      if (row.reason) {
        EXPECT_NE(said.value_or("").find(path.string()), std::string::npos) << said.value_or("");
        EXPECT_NE(said.value_or("").find(row.reason), std::string::npos) << said.value_or("");
      } else {
        EXPECT_EQ(said, std::nullopt);
      }
      if (row.lands) {
        EXPECT_EQ(fs::is_fifo(lands) ? piped : readFile(lands),
                  std::string(row.kept ? row.kept : "") + (row.reason ? "" : writer.bytes));
      }
      if (row.mode) {
        EXPECT_EQ(fs::status(lands).permissions(), *row.mode);
      }
      if (!old.empty() && writer.replaces && !row.kept) {
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(oldReader), {}), old);
      }
      for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    }
  }
  ::umask(mask);
  for (const int descriptor : held)
    ::close(descriptor);
  // Names that are no UTF-8 are beyond Qt's own clean-up.
  fs::remove_all(scratch.path().toStdString());
}

}  // namespace
}  // namespace tovrel::tools
