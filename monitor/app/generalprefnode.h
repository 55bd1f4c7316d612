#pragma once

#include "core/monitorsettings.h"
#include "panekit/prefdeck.h"
#include "panekit/preferencenode.h"

#include <QPointer>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace tracewin {

// The monitor's preferences page: shows the connection port and switches the page
// compiler's debug mode, the reporting of compile errors and the run animation (with its
// pause). It reads and writes the debug settings file; the port is shown, never changed.
class GeneralPrefNode : public panekit::PreferenceNode {
public:
    explicit GeneralPrefNode(MonitorSettings settings);

    QWidget* buildClient() override;
    void displaySettings(std::any& settings) override;
    void saveSettings(std::any& settings) override;
    void displayHelp() override;

    // Writes the values now held, port first, with the port as it was read.
    bool saveCurrentDebugMode();

    const DebugSettings& values() const { return values_; }

private:
    MonitorSettings settings_;
    DebugSettings values_;
    int animationDelayMs_ = MonitorSettings::defaultAnimationDelayMs;
    QPointer<QLabel> portNumLabel;
    QPointer<QCheckBox> modeSelCheckbox;
    QPointer<QCheckBox> syntaxErrSelCheckbox;
    QPointer<QCheckBox> skipRunAnimationSelCheckbox;
    QPointer<QSpinBox> animationDelaySpin;
};

// The monitor's preferences dialog over its main window, with its one page.
class PreferenceMenu {
public:
    // Builds the dialog; show() opens it centred over the parent.
    PreferenceMenu(QWidget* parent, MonitorSettings settings);
    ~PreferenceMenu();
    panekit::Prefdeck* dialog() const { return dialog_; }
    GeneralPrefNode* page() const { return page_; }
    void show(bool modal = true);

private:
    QPointer<panekit::Prefdeck> dialog_;
    GeneralPrefNode* page_ = nullptr;
};

} // namespace tracewin
