#include "core/ConfigStore.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include "core/Presets.hpp"
#include "core/Unicode.hpp"

namespace tovrel {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void put(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "tovrel-store.XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TemporaryFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::vector<std::string> names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

}  // namespace

void PrintTo(const ConfigError& error, std::ostream* out) {
  *out << "ConfigError(" << error.description() << ")";
}

namespace {

ConfigError decodeError(std::string_view bytes) {
  try {
    ConfigStore::decode(bytes);
  } catch (const ConfigError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded without error: " << bytes;
  return ConfigError::unreadable("");
}

// The default configuration as a document, with its bindings replaced and its version set.
std::string document(std::vector<CursorBinding> bindings, std::optional<int> version,
                     std::function<void(TovrelConfig&)> change = {}) {
  TovrelConfig config;
  config.cursorBindings = std::move(bindings);
  if (change) change(config);
  json::Value value = config.toJson();
  if (version) {
    value["schemaVersion"] = *version;
  } else {
    value.erase("schemaVersion");
  }
  return value.dump();
}

std::vector<CursorBinding> withoutHelp() {
  std::vector<CursorBinding> list = Presets::standard().cursorBindings;
  list.pop_back();
  return list;
}

const CursorBinding help{CursorAction::help, Gesture::key(Key::slash, Modifiers::shift)};

TEST(ConfigStore, MigratesVersionOneOnly) {
  struct Case {
    const char* name;
    std::vector<CursorBinding> bindings;
    std::optional<int> version;
    bool gainsHelp;
  };
  std::vector<CursorBinding> helpElsewhere = withoutHelp();
  helpElsewhere.push_back({CursorAction::help, Gesture::key(Key::h)});
  std::vector<CursorBinding> slashElsewhere = withoutHelp();
  slashElsewhere.push_back({CursorAction::boost, help.gesture});
  std::vector<CursorBinding> slashTap = withoutHelp();
  slashTap.push_back({CursorAction::boost, Gesture::modifierTap(Key::slash)});
  const Case cases[] = {
      {"no version, no help", withoutHelp(), std::nullopt, true},
      {"version 1, no help", withoutHelp(), 1, true},
      {"help on another key", helpElsewhere, std::nullopt, false},
      {"Shift / on another action", slashElsewhere, 1, false},
      {"a tap of the / key does not count", slashTap, 1, true},
      {"version 2 is never migrated", withoutHelp(), 2, false},
  };
  for (const Case& c : cases) {
    TovrelConfig config = ConfigStore::decode(document(c.bindings, c.version));
    std::vector<CursorBinding> expected = c.bindings;
    if (c.gainsHelp) expected.push_back(help);
    EXPECT_EQ(config.cursorBindings, expected) << c.name;
    EXPECT_EQ(config.schemaVersion, 2) << c.name;
  }
}

TEST(ConfigStore, RefusesWhatItCannotUse) {
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  const std::string longName = "{\"dragStyle\": \"" + std::string(300, 'x') + "\"}";
  const std::string accents = "{\"dragStyle\": \"" + std::string(50, 'e') + [] {
    std::string s;
    for (int i = 0; i < 200; ++i)
      s += "é";
    return s;
  }() + "\"}";
  const char* notJson[] = {"",           "   ",  "{",  "[1,]",       "{\"schemaVersion\": 2} x",
                           "\xff\xfe{}", "null", "[]", "\"config\"", "{\"cursorEntry\": 5}"};
  for (std::string_view bytes : notJson) {
    ConfigError error = decodeError(bytes);
    EXPECT_EQ(error.kind(), ConfigError::Kind::unreadable) << bytes;
  }
  for (const std::string& bytes : {deep, longName, accents, std::string("{\"a\": \"\xc3\"")}) {
    ConfigError error = decodeError(bytes);
    ASSERT_EQ(error.kind(), ConfigError::Kind::unreadable);
    const std::string& text = error.description();
    EXPECT_TRUE(text.starts_with("The file is not a Tovrel settings file (")) << text;
    EXPECT_TRUE(text.ends_with(").")) << text;
    EXPECT_TRUE(unicode::isValidUtf8(text)) << text;
    EXPECT_LE(unicode::characters(error.detail()).size(), ConfigStore::detailLength);
  }
  EXPECT_EQ(unicode::characters(decodeError(accents).detail()).size(), ConfigStore::detailLength);

  for (int version : {3, 0, -1, 1000}) {
    ConfigError error = decodeError(document(withoutHelp(), version));
    EXPECT_EQ(error, ConfigError::unsupportedSchema(version));
    EXPECT_EQ(error.description(), "This file uses settings version " + std::to_string(version) +
                                       ", which this Tovrel cannot read.");
  }

  // The key the migration adds starts Scrolling in this file.
  ConfigError migrated = decodeError(
      document(withoutHelp(), 1, [](TovrelConfig& c) { c.scrollEntry.gesture = help.gesture; }));
  EXPECT_EQ(migrated,
            ConfigError::conflicts({"Shift / starts a mode, so it cannot also be “Show keys”."}));

  ConfigError two =
      decodeError(document(Presets::standard().cursorBindings, 2, [](TovrelConfig& c) {
        c.clickAlphabet = "a";
        c.motion.initialSpeed = 1e5;
      }));
  EXPECT_EQ(two.description(),
            "Labels need at least two different letters.\n"
            "Top speed must be at least the starting speed.");
}

TEST(ConfigStore, EncodeWritesWhatDecodeReads) {
  TovrelConfig config;
  config.cursorBindings = Presets::vim().cursorBindings;
  config.excludedBundleIDs = {"org.gnome.Terminal", "firefox"};
  std::string bytes = ConfigStore::encode(config);
  EXPECT_EQ(ConfigStore::decode(bytes), config);
  EXPECT_NE(bytes.find("\n  \"appearance\": {"), std::string::npos);
}

// A file saved by an earlier version, whose key names were another platform's: the stored form is
// codes and bits, so it reads as the same bindings, is written back byte for byte, and shows them
// by Linux's names.
TEST(ConfigStore, AFileFromBeforeTheLinuxKeyNamesLoadsUnchanged) {
  const fs::path saved = fs::path(TOVREL_CORE_TEST_DATA) / "config-before-linux-key-names.json";
  const std::string bytes = slurp(saved);
  ASSERT_FALSE(bytes.empty()) << saved;
  TemporaryFolder folder;
  put(folder.path() / "config.json", bytes);
  const TovrelConfig loaded = ConfigStore(folder.path() / "config.json").load();

  using M = Modifiers;
  TovrelConfig expected;
  expected.profileName = "Written before Linux key names";
  expected.cursorEntry = {Gesture::modifierTap(Key::leftControl), true,
                          Gesture::key(Key::deleteKey)};
  expected.clickEntry.gesture =
      Gesture::key(Key::returnKey, {M::control, M::option, M::command, M::shift});
  expected.scrollEntry.gesture = Gesture::modifierTap(Key::rightCommand);
  expected.cursorBindings.push_back({CursorAction::leftClick, Gesture::key(117, M::option)});
  expected.cursorBindings.push_back(
      {CursorAction::rightClick, Gesture::key(Key::k, {M::control, M::option})});
  expected.clickControls[ClickControl::refresh] = Gesture::key(Key::r, {M::command, M::shift});
  expected.scrolling.maximumSpeed = 2400;
  EXPECT_EQ(loaded, expected);
  EXPECT_EQ(ConfigStore::encode(loaded), bytes);

  const std::vector<std::pair<Gesture, std::string>> shown = {
      {loaded.cursorEntry.gesture, "Left Ctrl tap"},
      {loaded.cursorEntry.exit, "Backspace"},
      {loaded.clickEntry.gesture, "Ctrl Alt Super Shift Enter"},
      {loaded.scrollEntry.gesture, "Right Super tap"},
      {loaded.cursorBindings.rbegin()[1].gesture, "Alt Delete"},
      {loaded.cursorBindings.back().gesture, "Ctrl Alt K"},
      {loaded.clickControls.at(ClickControl::refresh), "Super Shift R"},
  };
  for (const auto& [gesture, text] : shown)
    EXPECT_EQ(gesture.displayName(), text);
}

TEST(ConfigStore, DefaultFolderFollowsXdg) {
  using P = fs::path;
  EXPECT_EQ(ConfigStore::defaultFolder("/x/conf", "/home/u"), P("/x/conf/Tovrel"));
  EXPECT_EQ(ConfigStore::defaultFolder(nullptr, "/home/u"), P("/home/u/.config/Tovrel"));
  EXPECT_EQ(ConfigStore::defaultFolder("relative", "/home/u"), P("/home/u/.config/Tovrel"));
  EXPECT_EQ(ConfigStore::defaultFolder("", "/home/u"), P("/home/u/.config/Tovrel"));
  EXPECT_EQ(ConfigStore::defaultFolder(nullptr, nullptr), std::nullopt);
  EXPECT_EQ(ConfigStore::defaultFolder("", ""), std::nullopt);
}

TEST(ConfigStore, DefaultStoreCreatesItsFolder) {
  TemporaryFolder folder;
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", (folder.path() / "a" / "b").c_str(), 1);
  ConfigStore store = ConfigStore::defaultStore();
  EXPECT_EQ(store.fileURL(), folder.path() / "a" / "b" / "Tovrel" / "config.json");
  EXPECT_TRUE(fs::is_directory(store.fileURL().parent_path()));
  EXPECT_EQ(store.backupURL(), folder.path() / "a" / "b" / "Tovrel" / "config.previous.json");

  // A file where the folder belongs.
  put(folder.path() / "file", "x");
  ::setenv("XDG_CONFIG_HOME", (folder.path() / "file").c_str(), 1);
  EXPECT_THROW(ConfigStore::defaultStore(), fs::filesystem_error);
  if (saved) {
    ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

TEST(ConfigStore, LoadAndSaveKeepTheBackup) {
  TemporaryFolder folder;
  ConfigStore store(folder.path() / "config.json");
  EXPECT_EQ(store.load(), TovrelConfig::defaults());
  EXPECT_TRUE(folder.names().empty());

  TovrelConfig first;
  first.profileName = "First";
  store.save(first);
  EXPECT_EQ(folder.names(), std::vector<std::string>{"config.json"});
  const std::string firstBytes = slurp(store.fileURL());

  TovrelConfig second;
  second.profileName = "Second";
  const mode_t mask = ::umask(0);
  store.save(second);
  ::umask(mask);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"config.json", "config.previous.json"}));
  EXPECT_EQ(slurp(store.backupURL()), firstBytes);
  EXPECT_EQ(store.load(), second);
  // Both are the user's alone, whatever the process's umask.
  for (const fs::path& file : {store.fileURL(), store.backupURL()})
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // A configuration with a problem touches neither file.
  const std::string current = slurp(store.fileURL());
  TovrelConfig bad;
  bad.clickAlphabet = "";
  EXPECT_THROW(store.save(bad), ConfigError);
  EXPECT_EQ(slurp(store.fileURL()), current);
  EXPECT_EQ(slurp(store.backupURL()), firstBytes);

  // A non-finite number is refused before anything is written.
  bad = second;
  bad.scrolling.rampSeconds = std::numeric_limits<double>::infinity();
  EXPECT_THROW(store.save(bad), json::EncodingError);
  EXPECT_EQ(slurp(store.fileURL()), current);
}

TEST(ConfigStore, FileSystemFailuresAreNotConfigErrors) {
  TemporaryFolder folder;
  // A folder where the settings file belongs: reading and replacing it both fail.
  fs::create_directory(folder.path() / "config.json");
  ConfigStore store(folder.path() / "config.json");
  EXPECT_THROW(store.load(), fs::filesystem_error);
  EXPECT_THROW(store.save(TovrelConfig()), fs::filesystem_error);
  EXPECT_TRUE(fs::is_directory(store.fileURL()));

  // The store does not create the folder of a file it was given.
  ConfigStore missing(folder.path() / "nowhere" / "config.json");
  EXPECT_THROW(missing.save(TovrelConfig()), fs::filesystem_error);
  EXPECT_FALSE(fs::exists(folder.path() / "nowhere"));
  EXPECT_EQ(missing.load(), TovrelConfig::defaults());
}

TEST(ConfigStore, OnlyARegularFileIsReadAndNothingElseIsWaitedOn) {
  TemporaryFolder folder;
  const fs::path pipe = folder.path() / "config.json";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ConfigStore store(pipe);
  // Each in its own thread, so a read that waits for a writer fails here instead of hanging:
  // a writer that comes and goes lets it end.
  const auto refusedAtOnce = [&](std::function<void()> attempt) {
    auto done = std::async(std::launch::async, [attempt] {
      try {
        attempt();
      } catch (const fs::filesystem_error& error) {
        return error.code() == std::errc::invalid_argument;
      }
      return false;
    });
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return done.get();
    do {
      const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
    } while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
    return false;
  };
  EXPECT_TRUE(refusedAtOnce([&] { store.load(); }));
  EXPECT_TRUE(refusedAtOnce([&] { store.save(TovrelConfig()); }));
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(folder.names(), std::vector<std::string>{"config.json"});
  EXPECT_TRUE(refusedAtOnce([] { FileSystem::real().read("/dev/null"); }));
}

TEST(ConfigStore, AnUnreadableFileIsKeptOnce) {
  TemporaryFolder folder;
  ConfigStore store(folder.path() / "config.json");
  const std::string handEdited = "{\"schemaVersion\": 2, \"motion\": {\"initialSpeed\": 80,}}";
  put(store.fileURL(), handEdited);
  EXPECT_THROW(store.load(), ConfigError);

  for (int i = 0; i < 3; ++i) {
    TovrelConfig config;
    config.modifierTapMaxMilliseconds = 200 + i;
    store.save(config);
  }
  EXPECT_EQ(slurp(store.unreadableCopyURL()), handEdited);
  EXPECT_EQ(store.load().modifierTapMaxMilliseconds, 202);

  // Readable files are not copied there, and a later unreadable one does not replace the first.
  put(store.fileURL(), "{\"schemaVersion\": 9}");
  store.save(TovrelConfig());
  EXPECT_EQ(slurp(store.unreadableCopyURL()), handEdited);
  EXPECT_EQ(slurp(store.backupURL()), "{\"schemaVersion\": 9}");

  TemporaryFolder clean;
  ConfigStore other(clean.path() / "config.json");
  other.save(TovrelConfig());
  other.save(TovrelConfig());
  EXPECT_FALSE(fs::exists(other.unreadableCopyURL()));
}

TEST(ConfigStore, ASettingsFileThatIsALinkStaysALink) {
  // Each case lays out `config.json` in folder "home" as a link, and names the file it leads to
  // (nothing when saving must fail) and what is there before the first save.
  struct Case {
    const char* name;
    std::function<void(const fs::path& root)> layOut;
    const char* target;  // relative to the temporary folder
    std::optional<std::string> before;
    bool loops = false;
  };
  const std::string unreadable = "{\"schemaVersion\": 2,,}";
  const std::string readable = ConfigStore::encode(TovrelConfig());
  auto link = [](const char* to, const char* at = "home/config.json") {
    return [to, at](const fs::path& root) { fs::create_symlink(to, root / at); };
  };
  const Case cases[] = {
      {"absolute link to a file",
       [&](const fs::path& root) {
         fs::create_directory(root / "real");
         put(root / "real" / "settings.json", readable);
         fs::create_symlink(root / "real" / "settings.json", root / "home" / "config.json");
       },
       "real/settings.json", readable},
      {"relative link to an unreadable file",
       [&](const fs::path& root) {
         fs::create_directory(root / "real");
         put(root / "real" / "settings.json", unreadable);
         link("../real/settings.json")(root);
       },
       "real/settings.json", unreadable},
      {"chain of a relative and an absolute link",
       [&](const fs::path& root) {
         fs::create_directories(root / "a" / "b");
         put(root / "a" / "b" / "end.json", readable);
         link("../a/middle.json")(root);
         fs::create_symlink(root / "a" / "b" / "end.json", root / "a" / "middle.json");
       },
       "a/b/end.json", readable},
      {"relative link through a linked folder",
       [&](const fs::path& root) {
         fs::create_directories(root / "deep" / "store");
         fs::create_directory_symlink(root / "deep" / "store", root / "home" / "store");
         link("store/../peer.json")(root);
       },
       "deep/peer.json", std::nullopt},
      {"link to nothing", link("settings.json"), "home/settings.json", std::nullopt},
      {"link into a missing folder", link("../gone/settings.json"), nullptr, std::nullopt},
      {"loop",
       [&](const fs::path& root) {
         link("loop.json")(root);
         link("config.json", "home/loop.json")(root);
       },
       nullptr, std::nullopt, true},
  };
  TovrelConfig first;
  first.profileName = "First";
  TovrelConfig second;
  second.profileName = "Second";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder folder;
    const fs::path home = folder.path() / "home";
    fs::create_directory(home);
    c.layOut(folder.path());
    ConfigStore store(home / "config.json");

    if (c.target == nullptr) {
      if (c.loops) {
        EXPECT_THROW(store.load(), fs::filesystem_error);
      } else {
        EXPECT_EQ(store.load(), TovrelConfig::defaults());
      }
      try {
        store.save(first);
        ADD_FAILURE() << "saved";
      } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.path1(), store.fileURL());
        if (!c.loops) {
          EXPECT_EQ(error.path2(), home / "../gone/settings.json");
        }
      }
      // Nothing was created, the link included.
      EXPECT_TRUE(fs::is_symlink(store.fileURL()));
      EXPECT_FALSE(fs::exists(folder.path() / "gone"));
      EXPECT_EQ(folder.names(), std::vector<std::string>{"home"});
      continue;
    }

    const fs::path target = folder.path() / c.target;
    EXPECT_TRUE(fs::equivalent(store.targetURL().parent_path(), target.parent_path()));
    if (c.before == unreadable) {
      EXPECT_THROW(store.load(), ConfigError);
    } else {
      EXPECT_EQ(store.load(), TovrelConfig::defaults());
    }
    store.save(first);
    store.save(second);
    EXPECT_TRUE(fs::is_symlink(store.fileURL()));
    EXPECT_EQ(ConfigStore::decode(slurp(target)), second);
    EXPECT_EQ(store.load(), second);
    // The copies sit beside the link, never beside the file it leads to.
    EXPECT_EQ(ConfigStore::decode(slurp(store.backupURL())), first);
    EXPECT_EQ(fs::exists(store.unreadableCopyURL()), c.before == unreadable);
    if (c.before == unreadable) {
      EXPECT_EQ(slurp(store.unreadableCopyURL()), unreadable);
    }
    const bool elsewhere = !fs::equivalent(target.parent_path(), home);
    for (const auto& entry : fs::directory_iterator(target.parent_path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
      if (elsewhere) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("config."));
      }
    }
  }
}

// Stops the real file system at one step of a save: a thrown error (the step failed), or a crash
// (the step and everything after it never happen).
class InterruptingFileSystem final : public FileSystem {
 public:
  struct Crash {};

  InterruptingFileSystem(int stopAt, bool crash) : stopAt_(stopAt), crash_(crash) {}
  bool interrupted() const { return interrupted_; }

  bool exists(const Path& path) const override {
    step(path);
    return real().exists(path);
  }
  std::optional<Path> linkTarget(const Path& path) const override {
    step(path);
    return real().linkTarget(path);
  }
  std::string read(const Path& path) const override {
    step(path);
    return real().read(path);
  }
  void createDirectories(const Path& path) override {
    step(path);
    real().createDirectories(path);
  }
  Path writeTemporary(const Path& folder, std::string_view prefix, std::string_view bytes,
                      const FileMode& mode) override {
    step(folder);
    return real().writeTemporary(folder, prefix, bytes, mode);
  }
  void rename(const Path& from, const Path& to) override {
    step(from);
    real().rename(from, to);
  }
  void remove(const Path& path) override {
    step(path);
    real().remove(path);
  }
  void syncFolder(const Path& folder) override {
    step(folder);
    real().syncFolder(folder);
  }

 private:
  void step(const Path& path) const {
    const int index = count_++;
    if (crash_ ? index >= stopAt_ : index == stopAt_) {
      interrupted_ = true;
      if (crash_) throw Crash{};
      throw fs::filesystem_error("injected", path, std::make_error_code(std::errc::io_error));
    }
  }
  static FileSystem& real() { return FileSystem::real(); }

  int stopAt_;
  bool crash_;
  mutable int count_ = 0;
  mutable bool interrupted_ = false;
};

TEST(ConfigStore, AnInterruptedSaveLeavesTheOldOrTheNewFile) {
  TovrelConfig oldConfig;
  oldConfig.profileName = "Old";
  TovrelConfig newConfig;
  newConfig.profileName = "New";

  for (bool crash : {false, true}) {
    for (bool unreadableBefore : {false, true}) {
      bool completed = false;
      for (int stopAt = 0; !completed; ++stopAt) {
        ASSERT_LT(stopAt, 100) << "the save never completed";
        TemporaryFolder folder;
        ConfigStore plain(folder.path() / "config.json");
        const std::string oldBytes =
            unreadableBefore ? std::string("not json") : ConfigStore::encode(oldConfig);
        put(plain.fileURL(), oldBytes);
        put(plain.backupURL(), "previous backup");

        InterruptingFileSystem interrupting(stopAt, crash);
        ConfigStore store(plain.fileURL(), interrupting);
        bool threw = false;
        try {
          store.save(newConfig);
        } catch (const InterruptingFileSystem::Crash&) {
          threw = true;
        } catch (const fs::filesystem_error&) {
          threw = true;
        }
        completed = !interrupting.interrupted();
        const std::string context = "stop at " + std::to_string(stopAt) +
                                    (crash ? " (crash)" : " (error)") +
                                    (unreadableBefore ? ", unreadable before" : "");

        const std::string now = slurp(plain.fileURL());
        EXPECT_TRUE(now == oldBytes || ConfigStore::decode(now) == newConfig) << context;
        // A failed step reports failure only when the old file is still in place.
        if (threw && !crash) {
          EXPECT_EQ(now, oldBytes) << context;
        }
        // The backup is the old backup or the old file, never lost or partial.
        const std::string backup = slurp(plain.backupURL());
        EXPECT_TRUE(backup == "previous backup" || backup == oldBytes) << context;
        if (unreadableBefore && now != oldBytes) {
          EXPECT_EQ(slurp(plain.unreadableCopyURL()), oldBytes) << context;
        }
        if (!crash) {
          // Failed steps clean up after themselves: no temporary files are left behind.
          for (const std::string& name : folder.names()) {
            EXPECT_FALSE(name.starts_with(".")) << context << ": " << name;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovrel
