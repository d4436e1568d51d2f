// The developer switches run as a script runs them, against the fixture application: each writes
// its file in the form scripts read, a switch without its arguments is passed over, and an output
// that cannot be written ends the run with status 1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "DesktopHarness.hpp"
#include "FixtureHarness.hpp"
#include "QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

constexpr char fixtureId[] = "tovrel-fixture";
constexpr char absentId[] = "local.absent.Application";

struct Outcome {
  std::optional<int> status;  // nothing when it crashed or did not end in time
  QString errors;
};

class ToolDesktopTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    qtApp();
    ASSERT_TRUE(folder_.isValid());
  }

  // Runs one command to its end; tools never wait for input.
  Outcome run(const QString& program, const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Settings and window frames of its own: a tool must not touch the user's.
    environment.insert("XDG_CONFIG_HOME", folder_.filePath("config"));
    environment.insert("XDG_STATE_HOME", folder_.filePath("state"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
      process.kill();
      process.waitForFinished(3000);
      return {std::nullopt, QString::fromUtf8(process.readAllStandardError())};
    }
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit) return {std::nullopt, errors};
    return {process.exitCode(), errors};
  }
  Outcome tovrel(const QStringList& arguments) {
    return run(QStringLiteral(TOVREL_APP_PATH), arguments);
  }

  std::unique_ptr<FixtureApp> startFixture() {
    std::string error;
    auto fixture = FixtureApp::start({}, &error);
    EXPECT_NE(fixture, nullptr) << error;
    return fixture;
  }

  QString path(const QString& name) { return folder_.filePath(name); }
  static QString read(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
  }
  // No config folder was made: the user's settings were left alone.
  bool settingsUntouched() { return !QDir(path("config")).exists(); }

  QTemporaryDir folder_;
};

TEST_F(ToolDesktopTest, TheProbeAuditAndOutlineDescribeTheFixture) {
  auto fixture = startFixture();
  ASSERT_NE(fixture, nullptr);

  ASSERT_EQ(tovrel({"--probe-apps", path("probe.json"), fixtureId, absentId}).status, 0);
  const QJsonDocument probe = QJsonDocument::fromJson(read(path("probe.json")).toUtf8());
  ASSERT_TRUE(probe.isArray()) << read(path("probe.json")).toStdString();
  ASSERT_EQ(probe.array().size(), 2);
  const QJsonObject found = probe.array()[0].toObject();
  EXPECT_EQ(found["bundleID"].toString(), fixtureId);
  EXPECT_TRUE(found["running"].toBool());
  EXPECT_TRUE(found["foundWindow"].toBool());
  // The fixture's enabled controls: three buttons, the check box and two fields.
  EXPECT_EQ(found["targets"].toInt(), 6);
  EXPECT_EQ(found["roles"].toObject()["AXButton"].toInt(), 3);
  EXPECT_GE(found["visitedNodes"].toInt(), 6);
  EXPECT_GT(found["milliseconds"].toDouble(), 0);
  const QJsonObject absent = probe.array()[1].toObject();
  EXPECT_FALSE(absent["running"].toBool());
  EXPECT_EQ(absent["targets"].toInt(), 0);

  ASSERT_EQ(tovrel({"--outline-app", path("outline.txt"), fixtureId}).status, 0);
  const QString outline = read(path("outline.txt"));
  for (const char* line : {R"(AXButton \(60,60 150x32\) \[AXPress.*\] "Increment")",
                           R"(AXTextField .* "Typing area")", R"(AXCheckBox .* "Remember me")"})
    EXPECT_TRUE(outline.contains(QRegularExpression(QString::fromLatin1(line))))
        << line << "\n"
        << outline.toStdString();

  ASSERT_EQ(tovrel({"--audit-app", path("audit.txt"), fixtureId}).status, 0);
  const QString audit = read(path("audit.txt"));
  EXPECT_TRUE(audit.contains(QStringLiteral("targets 6,"))) << audit.toStdString();
  EXPECT_TRUE(audit.contains(QStringLiteral("LABEL AXButton \"Increment\"")))
      << audit.toStdString();

  for (const char* tool : {"--outline-app", "--audit-app"}) {
    ASSERT_EQ(tovrel({tool, path("absent.txt"), absentId}).status, 0) << tool;
    EXPECT_EQ(read(path("absent.txt")), QStringLiteral("not running\n")) << tool;
  }
  EXPECT_TRUE(settingsUntouched());
}

TEST_F(ToolDesktopTest, TheSelfScanLabelSampleAndPreviewFramesWriteTheirFiles) {
  ASSERT_EQ(tovrel({"--self-scan", path("scan.txt")}).status, 0);
  const QString scan = read(path("scan.txt"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^found window true, visited [1-9][0-9]*, "
                                                "targets [0-9]+\n$"))
                  .match(scan)
                  .hasMatch())
      << scan.toStdString();

  ASSERT_EQ(tovrel({"--label-sample", path("labels.png")}).status, 0);
  const QImage labels(path("labels.png"));
  ASSERT_FALSE(labels.isNull());
  EXPECT_GT(labels.width(), labels.height());

  ASSERT_TRUE(QDir().mkpath(path("frames")));
  ASSERT_EQ(tovrel({"--preview-frames", path("frames")}).status, 0);
  const QStringList frames = QDir(path("frames")).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(frames.size(), 12) << frames.join(' ').toStdString();
  EXPECT_TRUE(frames.contains(QStringLiteral("cursor-0.4-light.png")));
  EXPECT_TRUE(frames.contains(QStringLiteral("click-1.6-dark.png")));
  for (const QString& frame : frames)
    EXPECT_EQ(QImage(path("frames/" + frame)).size(), QSize(848, 232)) << frame.toStdString();
  EXPECT_TRUE(settingsUntouched());
}

TEST_F(ToolDesktopTest, TheCaptureScriptAnswersEverySnapshotRequest) {
  const QString shots = path("shots");
  const Outcome outcome =
      run(QStringLiteral(TOVREL_CAPTURE_SCRIPT),
          {shots, QStringLiteral(TOVREL_APP_PATH), "--snapshot-settings", shots}, 100000);
  ASSERT_EQ(outcome.status, 0) << outcome.errors.toStdString();
  const QStringList pictures = QDir(shots).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(pictures.size(), 15) << pictures.join(' ').toStdString();
  for (const char* page : {"clicking", "scrolling", "moving", "general", "about"})
    for (const char* variant : {"light", "dark", "narrow"})
      EXPECT_EQ(QImage(QStringLiteral("%1/settings-%2-%3.png").arg(shots, page, variant)).size(),
                QLatin1String(variant) == "narrow" ? QSize(720, 540) : QSize(940, 680))
          << page << " " << variant;
  // Dark pages are darker than light ones.
  EXPECT_LT(QColor(QImage(shots + "/settings-about-dark.png").pixel(600, 600)).lightness(),
            QColor(QImage(shots + "/settings-about-light.png").pixel(600, 600)).lightness());
  EXPECT_FALSE(QFile::exists(shots + "/request"));
  EXPECT_TRUE(settingsUntouched());
}

TEST_F(ToolDesktopTest, TheCaptureScriptPicturesTheLabelDemonstration) {
  const QString demo = path("demo");
  const Outcome outcome = run(QStringLiteral(TOVREL_CAPTURE_SCRIPT),
                              {demo, QStringLiteral(TOVREL_APP_PATH), "--demo-labels", demo,
                               "--fixture", QStringLiteral(TOVREL_FIXTURE_PATH)},
                              60000);
  ASSERT_EQ(outcome.status, 0) << outcome.errors.toStdString();
  EXPECT_EQ(read(demo + "/ready"), QStringLiteral("labels"));
  const QImage screen(demo + "/labels.png");
  ASSERT_FALSE(screen.isNull());
  const auto root = desktop().windowRect(desktop().root());
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(screen.size(), QSize(root->width, root->height));
}

// The names in a folder, byte for byte.
std::set<std::string> entries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::string readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(ToolDesktopTest, OutputsKeepTheExactBytesOfTheirNames) {
  // Arguments reach the program as bytes only through a shell: Qt would pass them as text.
  const std::filesystem::path odd = path("odd").toStdString();
  ASSERT_TRUE(std::filesystem::create_directory(odd));
  const char* const switches[] = {"--label-sample", "--self-scan", "--diagnose-file"};
  std::set<std::string> expected;
  for (const char* flag : switches) {
    SCOPED_TRACE(flag);
    // Latin-1 "é" and a byte no encoding uses.
    const std::string name = std::string(flag + 2) + "-caf\xe9-\xff";
    expected.insert(name);
    const Outcome outcome = run(QStringLiteral("/bin/sh"),
                                {"-c", R"sh(exec "$0" "$1" "$2/$(printf "$3")")sh",
                                 QStringLiteral(TOVREL_APP_PATH), QString::fromLatin1(flag),
                                 path("odd"), QString::fromLatin1(flag + 2) + "-caf\\351-\\377"});
    ASSERT_TRUE(outcome.status.has_value()) << outcome.errors.toStdString();
    // The diagnosis says with 2 that Tovrel cannot hear keys here; any other run ends with 0.
    EXPECT_NE(*outcome.status, 1) << outcome.errors.toStdString();
    EXPECT_FALSE(readBytes(odd / name).empty());
  }
  EXPECT_EQ(entries(odd), expected);
}

TEST_F(ToolDesktopTest, TheDiagnosisThroughALinkReplacesTheFileItLeadsTo) {
  const std::filesystem::path root = folder_.path().toStdString();
  std::filesystem::create_directory(root / "kept");
  std::ofstream(root / "kept" / "report.json") << "old";
  std::filesystem::create_symlink("kept/report.json", root / "report.json");
  // A reader of the old file goes on reading it whole: it is replaced, not rewritten in place.
  std::ifstream reader(root / "kept" / "report.json", std::ios::binary);

  const Outcome outcome = tovrel({"--diagnose-file", path("report.json")});
  ASSERT_TRUE(outcome.status.has_value());
  EXPECT_NE(*outcome.status, 1) << outcome.errors.toStdString();
  EXPECT_TRUE(std::filesystem::is_symlink(root / "report.json"));
  const QJsonDocument report =
      QJsonDocument::fromJson(QByteArray::fromStdString(readBytes(root / "kept" / "report.json")));
  EXPECT_TRUE(report.isObject());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old");
  EXPECT_EQ(entries(root / "kept"), std::set<std::string>{"report.json"});
}

TEST_F(ToolDesktopTest, MissingArgumentsFallThroughAndUnwritableOutputsFail) {
  // "--outline-app" lacks its identifier: the probe further down the table runs instead, and
  // takes every argument after its output path for an identifier.
  ASSERT_EQ(
      tovrel({"--probe-apps", path("probe.json"), "--outline-app", path("outline.txt")}).status, 0);
  EXPECT_FALSE(QFile::exists(path("outline.txt")));
  const QJsonArray rows = QJsonDocument::fromJson(read(path("probe.json")).toUtf8()).array();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toObject()["bundleID"].toString(), QStringLiteral("--outline-app"));
  EXPECT_FALSE(rows[1].toObject()["running"].toBool());

  QFile blocker(path("a file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString below = path("a file/below");
  const QStringList runs[] = {
      {"--probe-apps", below, fixtureId}, {"--self-scan", below},
      {"--label-sample", below},          {"--preview-frames", below},
      {"--outline-app", below, absentId}, {"--audit-app", below, absentId},
      {"--snapshot-settings", below},
  };
  for (const QStringList& arguments : runs) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const Outcome outcome = tovrel(arguments);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.errors.contains(below)) << outcome.errors.toStdString();
  }
}

}  // namespace
}  // namespace tovrel::desktoptest
