// The desktop program's tests need an application object before any widget.
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns whenever a window is shown; nothing to see.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("propagateSizeHints")) return;
  if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this binary outside ctest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  previousHandler = qInstallMessageHandler(FilterMessages);
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName("treetri");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
