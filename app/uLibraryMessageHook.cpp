#include "app/uLibraryMessageHook.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include "platform/uMessageBox.h"

namespace duomat {

void InstallLibraryMessageHook(QObject* uiObject, std::function<void(const std::string& text)> show) {
  QPointer<QObject> target(uiObject);
  korvan::SetLibraryMessageHandler([target, show](const std::string& text) {
    QObject* object = target.data();
    if (!object) throw std::runtime_error("no window");  // standard error then
    if (QThread::currentThread() == object->thread())
      show(text);
    else
      QMetaObject::invokeMethod(object, [show, text] { show(text); }, Qt::QueuedConnection);
  });
}

void RemoveLibraryMessageHook() { korvan::SetLibraryMessageHandler({}); }

}  // namespace duomat
