#include "app/openpagedialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tracewin {
namespace {

using Kind = PageLaunchRequest::Kind;

QWidget* withButton(QLineEdit* field, QPushButton* button) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    layout->addWidget(button);
    return row;
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

OpenPageDialog::OpenPageDialog(const Texts& texts, QWidget* parent)
    : QDialog(parent), kinds_(new QButtonGroup(this)), page_(new QLineEdit),
      browsePage_(new QPushButton(texts("L-OpenBrowse"))), webapp_(new QLineEdit),
      browseWebapp_(new QPushButton(texts("L-OpenBrowse"))), agent_(new QLineEdit),
      url_(new QLineEdit), params_(new QPlainTextEdit) {
    setObjectName(QStringLiteral("openPageDialog"));
    setWindowTitle(texts("L-OpenPageTitle"));
    auto* layout = new QVBoxLayout(this);
    const std::pair<Kind, const char*> choices[] = {{Kind::JspFile, "L-OpenJspFile"},
                                                    {Kind::WebappPage, "L-OpenWebappPage"},
                                                    {Kind::AttachTomcat, "L-OpenAttachTomcat"}};
    for (const auto& [kind, key] : choices) {
        auto* button = new QRadioButton(texts(key));
        kinds_->addButton(button, static_cast<int>(kind));
        layout->addWidget(button);
    }
    auto* form = new QFormLayout;
    page_->setObjectName(QStringLiteral("page"));
    webapp_->setObjectName(QStringLiteral("webapp"));
    webapp_->setPlaceholderText(texts("L-OpenWebappHint"));
    agent_->setObjectName(QStringLiteral("agent"));
    agent_->setPlaceholderText(QStringLiteral("localhost:8000"));
    url_->setObjectName(QStringLiteral("url"));
    url_->setPlaceholderText(texts("L-OpenUrlHint"));
    params_->setObjectName(QStringLiteral("params"));
    params_->setTabChangesFocus(true);
    params_->setMaximumHeight(params_->fontMetrics().lineSpacing() * 5);
    form->addRow(texts("L-OpenPageFile"), withButton(page_, browsePage_));
    form->addRow(texts("L-OpenWebapp"), withButton(webapp_, browseWebapp_));
    form->addRow(texts("L-OpenAgent"), agent_);
    form->addRow(texts("L-OpenUrl"), url_);
    form->addRow(new QLabel(texts("L-OpenParams")));
    form->addRow(params_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(kinds_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            kindChanged();
    });
    connect(browsePage_, &QPushButton::clicked, this, &OpenPageDialog::browsePage);
    connect(browseWebapp_, &QPushButton::clicked, this, &OpenPageDialog::browseWebapp);
    setMinimumWidth(560);
    setRequest({});
}

void OpenPageDialog::setRequest(const PageLaunchRequest& request) {
    kinds_->button(static_cast<int>(request.kind))->setChecked(true);
    page_->setText(fromStd(request.page));
    webapp_->setText(fromStd(request.webapp));
    agent_->setText(fromStd(request.agent));
    url_->setText(fromStd(request.url));
    QStringList params;
    for (const std::string& param : request.params)
        params << fromStd(param);
    params_->setPlainText(params.join(u'\n'));
    kindChanged();
}

PageLaunchRequest OpenPageDialog::request() const {
    PageLaunchRequest request;
    request.kind = static_cast<Kind>(qMax(0, kinds_->checkedId()));
    request.page = page_->text().trimmed().toStdString();
    request.webapp = webapp_->text().trimmed().toStdString();
    request.agent = agent_->text().trimmed().toStdString();
    request.url = url_->text().trimmed().toStdString();
    for (const QString& line : params_->toPlainText().split(u'\n', Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty())
            request.params.push_back(line.trimmed().toStdString());
    return request;
}

void OpenPageDialog::kindChanged() {
    const auto kind = static_cast<Kind>(kinds_->checkedId());
    const bool hasPage = kind != Kind::AttachTomcat;
    page_->setEnabled(hasPage);
    browsePage_->setEnabled(hasPage);
    webapp_->setEnabled(kind == Kind::WebappPage);
    browseWebapp_->setEnabled(kind == Kind::WebappPage);
    agent_->setEnabled(kind == Kind::AttachTomcat);
    url_->setEnabled(kind == Kind::AttachTomcat);
}

void OpenPageDialog::browsePage() {
    const QString start = page_->text().isEmpty() ? QString() : QFileInfo(page_->text()).path();
    const QString chosen = QFileDialog::getOpenFileName(this, page_->toolTip(), start,
                                                        QStringLiteral("JSP (*.jsp *.jspx);;*"));
    if (!chosen.isEmpty())
        page_->setText(chosen);
}

void OpenPageDialog::browseWebapp() {
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), webapp_->text());
    if (!chosen.isEmpty())
        webapp_->setText(chosen);
}

} // namespace tracewin
