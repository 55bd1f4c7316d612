#pragma once

#include "core/pagelaunch.h"

#include <QDialog>
#include <functional>

class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tracewin {

// The Open page dialog: chooses a JSP file for the built-in test server, a page of a webapp
// for Tomcat, or a running Tomcat to attach to. It only edits a request; starting the page
// runtime is the opener's job.
class OpenPageDialog final : public QDialog {
    Q_OBJECT
public:
    using Texts = std::function<QString(const char* key)>;
    OpenPageDialog(const Texts& texts, QWidget* parent = nullptr);

    void setRequest(const PageLaunchRequest& request);
    PageLaunchRequest request() const;

private:
    // Only the fields of the chosen kind can be edited.
    void kindChanged();
    void browsePage();
    void browseWebapp();

    QButtonGroup* kinds_;
    QLineEdit* page_;
    QPushButton* browsePage_;
    QLineEdit* webapp_;
    QPushButton* browseWebapp_;
    QLineEdit* agent_;
    QLineEdit* url_;
    QPlainTextEdit* params_;
};

} // namespace tracewin
