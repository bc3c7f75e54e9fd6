// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/confirmation.h"

#include <QPushButton>

namespace tidewell {

QMessageBox* Confirmation::build(QWidget* parent, const Question& question, std::function<void(bool)> answered)
{
    auto* box = new QMessageBox(question.icon, question.title, question.title, QMessageBox::NoButton, parent);
    box->setObjectName(question.objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(question.message);
    QPushButton* confirmed = box->addButton(question.confirm, question.confirmRole);
    confirmed->setObjectName(question.confirmName);
    if (question.confirmColour.isValid()) {
        QPalette palette = confirmed->palette();
        palette.setColor(QPalette::WindowText, question.confirmColour);
        palette.setColor(QPalette::ButtonText, question.confirmColour);
        confirmed->setPalette(palette);
    }
    QPushButton* cancel = box->addButton(question.cancel, QMessageBox::RejectRole);
    cancel->setObjectName(question.cancelName);
    box->setDefaultButton(question.confirmIsDefault ? confirmed : cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::finished, box,
        [box, confirmed, answered = std::move(answered)] { answered(box->clickedButton() == confirmed); });
    return box;
}

} // namespace tidewell
