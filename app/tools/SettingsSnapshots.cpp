#include "app/tools/SettingsSnapshots.hpp"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <QUuid>

#include <array>
#include <cctype>
#include <memory>
#include <system_error>

#include "app/settings/Theme.hpp"
#include "app/tools/ScratchSettings.hpp"
#include "app/tools/ToolOutput.hpp"

namespace tovrel::tools::SettingsSnapshots {

namespace {

using Clock = std::chrono::steady_clock;

struct Variant {
  const char* name;
  bool dark;
  QSize size;
};

constexpr std::array<Variant, 3> variants{{
    {"light", false, {940, 680}},
    {"dark", true, {940, 680}},
    {"narrow", false, {720, 540}},
}};

constexpr std::array<SettingsPage, 5> pages{SettingsPage::click, SettingsPage::scroll,
                                            SettingsPage::cursor, SettingsPage::general,
                                            SettingsPage::about};

std::string pictureName(SettingsPage page, const Variant& variant) {
  std::string title(rawValue(page));
  for (char& c : title) {
    if (c == ' ') c = '-';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return "settings-" + title + "-" + variant.name;
}

// One run, kept alive by the timer it waits on.
struct Run : std::enable_shared_from_this<Run> {
  std::filesystem::path directory;
  std::filesystem::path storeFile;
  std::unique_ptr<ScratchSettings> scratch;
  Timings timings;
  std::function<void(const std::string&)> note;
  std::function<void(std::optional<std::string>)> completion;
  std::size_t step = 0;  // variant × page
  Clock::time_point deadline;

  const Variant& variant() const { return variants[step / pages.size()]; }
  SettingsPage page() const { return pages[step % pages.size()]; }
  std::filesystem::path picture() const {
    return directory / (pictureName(page(), variant()) + ".png");
  }

  void after(std::chrono::milliseconds wait, void (Run::*next)()) {
    QTimer::singleShot(wait, [self = shared_from_this(), next] { ((*self).*next)(); });
  }

  void showStep() {
    if (step == variants.size() * pages.size()) {
      end(std::nullopt);
      return;
    }
    settings::SettingsWindowView& window = scratch->view();
    if (step % pages.size() == 0) {
      QApplication::setPalette(variant().dark ? settings::darkPalette() : settings::lightPalette());
      window.resize(variant().size);
      if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize frame = window.frameGeometry().size();
        window.move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
      }
    }
    scratch->model().setPage(page());
    // Behind the other windows, neither focused nor activating the program.
    window.show();
    window.lower();
    after(timings.settle, &Run::request);
  }

  void request() {
    const std::string text = requestText(scratch->view().winId(), pictureName(page(), variant()));
    if (auto problem = writeAtomically((directory / "request").string(), text)) {
      end(problem);
      return;
    }
    deadline = Clock::now() + timings.timeout;
    poll();
  }

  void poll() {
    std::error_code error;
    if (std::filesystem::exists(picture(), error)) {
      ++step;
      showStep();
      return;
    }
    if (Clock::now() >= deadline) {
      note("Tovrel: no picture " + picture().string() + " came within " +
           std::to_string(timings.timeout.count() / 1000) + " s.");
      ++step;
      showStep();
      return;
    }
    after(timings.poll, &Run::poll);
  }

  void end(std::optional<std::string> problem) {
    std::error_code ignored;
    std::filesystem::remove(directory / "request", ignored);
    scratch->view().close();
    scratch.reset();
    std::filesystem::remove(storeFile, ignored);
    completion(std::move(problem));
  }
};

}  // namespace

std::vector<std::string> pictureNames() {
  std::vector<std::string> names;
  for (const Variant& variant : variants)
    for (SettingsPage page : pages)
      names.push_back(pictureName(page, variant));
  return names;
}

std::string requestText(unsigned long long window, const std::string& pictureName) {
  return std::to_string(window) + " " + pictureName;
}

void run(const std::filesystem::path& directory, platform::Platform& desktop,
         platform::LoginItemServices& loginItems, platform::DesktopEntryServices* desktopEntries,
         std::function<void(const std::string& line)> note,
         std::function<void(std::optional<std::string> problem)> completion, Timings timings) {
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);
  auto run = std::make_shared<Run>();
  run->directory = directory;
  run->storeFile =
      QDir::temp()
          .filePath(QStringLiteral("tovrel-snapshot-%1.json")
                        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()))
          .toStdString();
  run->scratch =
      std::make_unique<ScratchSettings>(run->storeFile, desktop, loginItems, desktopEntries);
  run->scratch->model().setAssumesAccessForSnapshots(true);
  run->timings = timings;
  run->note = std::move(note);
  run->completion = std::move(completion);
  settings::SettingsWindowView& window = run->scratch->view();
  window.setAttribute(Qt::WA_ShowWithoutActivating);
  window.setGeometry(80, 80, 940, 680);
  run->showStep();
}

}  // namespace tovrel::tools::SettingsSnapshots
