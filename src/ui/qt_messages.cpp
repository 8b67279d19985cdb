#include "ui/qt_messages.h"

#include <QMessageBox>
#include <QString>

namespace vantrel {

void QtMessages::Show(std::string_view text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon,
                    QStringLiteral("Vantrel"), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.exec();
}

} // namespace vantrel
