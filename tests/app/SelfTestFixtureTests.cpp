#include "app/selftest/Fixture.hpp"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "core/Keys.hpp"
#include "platform/Application.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::selftest {
namespace {

TEST(SelfTestFixture, StateFileReadsAsAnEmptyObjectUnlessItIsOne) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  struct Row {
    const char* name;
    std::optional<QByteArray> contents;  // none: no file
    FixtureFrame increment;
    double taps;
    bool ready;
  };
  const Row rows[] = {
      {"missing", std::nullopt, {}, 0, false},
      {"not JSON", "{\"frames\":", {}, 0, false},
      {"an array", "[1, 2]", {}, 0, false},
      {"frames of another shape", R"({"frames": [1], "pad": 3})", {}, 0, false},
      {"empty frames", R"({"frames": {}})", {}, 0, false},
      {"a frame missing members",
       R"({"frames": {"Increment": {"x": 10, "width": 80}}, "pad": {"taps": 2}})",
       {10, 0, 80, 0},
       2,
       true},
      {"whole",
       R"({"frames": {"Increment": {"x": 1, "y": 2, "width": 3, "height": 4}}})",
       {1, 2, 3, 4},
       0,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QString path = folder.filePath(QString::fromLatin1(row.name) + ".json");
    if (row.contents) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(*row.contents);
    }
    const FixtureState state = FixtureState::read(path.toStdString());
    EXPECT_EQ(state.frame("Increment"), row.increment);
    EXPECT_EQ(state.frame("Not listed"), FixtureFrame{});
    EXPECT_EQ(state.padCount("taps"), row.taps);
    EXPECT_EQ(state.ready(), row.ready);
  }
}

TEST(SelfTestFixture, TypingUsesThePrintableKeysIgnoringCase) {
  const std::uint16_t a = 0, j = Key::j;
  EXPECT_EQ(typingCodes("A"), std::vector<std::uint16_t>{a});
  EXPECT_EQ(typingCodes("aJ"), (std::vector<std::uint16_t>{a, j}));
  // A tab and an accented letter have no printable key; a malformed byte is passed over too.
  EXPECT_EQ(typingCodes("a\tå\xff"
                        "j"),
            (std::vector<std::uint16_t>{a, j}));
  for (const auto& [code, text] : Key::printableCodes()) {
    if (text.size() == 1) {
      EXPECT_EQ(typingCodes(text), std::vector<std::uint16_t>{code}) << text;
    }
  }
}

class Recorder : public QLineEdit, public platform::SuspendsNavigation {};

TEST(SelfTestFixture, TheFieldToTypeIntoIsTheFirstOrdinaryEditableLine) {
  testapp::ensureWidgetApp();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* search = new QLineEdit;
  search->setPlaceholderText(QStringLiteral("Search settings"));
  auto* readOnly = new QLineEdit;
  readOnly->setReadOnly(true);
  auto* disabled = new QLineEdit;
  disabled->setEnabled(false);
  auto* spin = new QSpinBox;
  auto* combo = new QComboBox;
  combo->setEditable(true);
  auto* recorder = new Recorder;
  auto* letters = new QLineEdit;
  letters->setPlaceholderText(QStringLiteral("Letters"));
  for (QWidget* w :
       std::initializer_list<QWidget*>{search, readOnly, disabled, spin, combo, recorder, letters})
    layout->addWidget(w);
  EXPECT_EQ(editableField(&window), letters);
  EXPECT_EQ(editableField(nullptr), nullptr);
  letters->setEnabled(false);
  EXPECT_EQ(editableField(&window), nullptr);
}

}  // namespace
}  // namespace tovrel::selftest
