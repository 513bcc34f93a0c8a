#include "app/DisplayCheck.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kvm::app {

namespace {

struct THeldMessage {
  QtMsgType Type;
  QString Category;
  QString Text;
};

QtMessageHandler previousHandler = nullptr;
std::vector<THeldMessage>* heldMessages = nullptr;

void HoldOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    heldMessages->push_back({type, QString::fromUtf8(context.category ? context.category : ""), text});
    return;
  }
  // Qt gives up only when no platform could start: no display to show on.
  const char* display = std::getenv("WAYLAND_DISPLAY") ? "WAYLAND_DISPLAY" : "DISPLAY";
  const char* value = std::getenv(display);
  std::fprintf(stderr, "kvmflash: no display found (%s is %s): start it in a desktop session, or use kvmflash-cli\n",
               display, value && *value ? (std::string("'") + value + "'").c_str() : "not set");
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

TDisplayCheck::TDisplayCheck() {
  heldMessages = new std::vector<THeldMessage>;
  previousHandler = qInstallMessageHandler(HoldOrEnd);
}

TDisplayCheck::~TDisplayCheck() {
  qInstallMessageHandler(previousHandler);
  for (const THeldMessage& message : *heldMessages) {
    const QByteArray category = message.Category.toUtf8();
    const QMessageLogContext context(nullptr, 0, nullptr, category.isEmpty() ? nullptr : category.constData());
    qt_message_output(message.Type, context, message.Text);
  }
  delete heldMessages;
  heldMessages = nullptr;
}

}  // namespace kvm::app
