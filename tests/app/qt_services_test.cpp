#include <QEvent>
#include <QFontDatabase>
#include <stdexcept>

#include "app_fixture.h"

namespace mertovan::testing {
namespace {

TEST(GeneralErrorReport, ShowsTheErrorAtTheGivenPointAndGoesOn) {
  RecordingMessages messages;
  int where = 0;
  const auto point = [&where] {
    ++where;
    return std::make_pair(140, 90);
  };
  EXPECT_TRUE(RunReported(messages, point, [] {}));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(where, 0);

  bool after = false;
  EXPECT_FALSE(RunReported(messages, point, [&after] {
    throw IoError("Cannot read the file: a.mid");
    after = true;
  }));
  EXPECT_FALSE(after);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "Cannot read the file: a.mid");
  EXPECT_EQ(messages.shown[0].kind, MessageKind::Warning);
  EXPECT_EQ(messages.shown[0].x, 140);
  EXPECT_EQ(messages.shown[0].y, 90);
}

class Throwing : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(e);
  }
};

TEST(GeneralErrorReport, TheApplicationObjectCatchesWhatAHandlerLetsThrough) {
  auto* app = dynamic_cast<ReportingApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  std::vector<std::string> reported;
  app->SetReport([&reported](const char* text) { reported.emplace_back(text); });
  Throwing object;
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&object, &event);
  app->SetReport(nullptr);
  EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
}

TEST(Fonts, FirstInstalledFamilySkipsWhatIsMissing) {
  const QStringList installed = QFontDatabase::families();
  ASSERT_FALSE(installed.isEmpty());
  EXPECT_EQ(FirstInstalledFamily({"No Such Font 12345", installed.front()}), installed.front());
  EXPECT_EQ(FirstInstalledFamily({"No Such Font 12345"}), "");
}

TEST(Fonts, WindowsAndGridUseTwelvePixelsAndTheGridLinesUp) {
  EXPECT_EQ(WindowFont().pixelSize(), 12);
  EXPECT_EQ(GridFont().pixelSize(), 12);
  EXPECT_TRUE(LinesUpHexBytes(GridFont()));
  // A proportional font does not line up the bytes.
  if (!FirstInstalledFamily({"IPAPGothic"}).isEmpty()) {
    QFont proportional("IPAPGothic");
    proportional.setPixelSize(12);
    EXPECT_FALSE(LinesUpHexBytes(proportional));
  }
}

}  // namespace
}  // namespace mertovan::testing
