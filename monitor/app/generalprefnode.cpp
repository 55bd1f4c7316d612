#include "app/generalprefnode.h"

#include "app/monitor.h"
#include "panekit/application.h"
#include "panekit/helphandler.h"
#include "panekit/prefdeck.h"
#include "tracehook/jspmonitorresource.h"
#include "tracehook/tracer.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

namespace tracewin {
namespace {

constexpr const char* kSource = "GeneralPrefNode";

QString label(const char* key) {
    static const tracehook::JspMonitorResource resource;
    return QString::fromStdString(resource.getToolString(key));
}

} // namespace

GeneralPrefNode::GeneralPrefNode(MonitorSettings settings) : settings_(std::move(settings)) {
    setTitle(label("L-GeneralMenu"));
    setDescription(label("L-GeneralDescription"));
}

QWidget* GeneralPrefNode::buildClient() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    portNumLabel = new QLabel(QStringLiteral(" "));
    portNumLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(new QLabel(label("L-PortLabel")), 0, 0);
    grid->addWidget(portNumLabel, 0, 1);
    grid->addWidget(new QLabel, 1, 0);
    modeSelCheckbox = new QCheckBox(label("L-DebugModeSelBox"));
    syntaxErrSelCheckbox = new QCheckBox(label("L-SyntaxErrSelBox"));
    skipRunAnimationSelCheckbox = new QCheckBox(label("L-SkipRunAnimationSelBox"));
    grid->addWidget(modeSelCheckbox, 2, 0, 1, 2);
    grid->addWidget(syntaxErrSelCheckbox, 3, 0, 1, 2);
    grid->addWidget(skipRunAnimationSelCheckbox, 4, 0, 1, 2);
    animationDelaySpin = new QSpinBox;
    animationDelaySpin->setRange(0, 10000);
    animationDelaySpin->setSingleStep(50);
    animationDelaySpin->setSuffix(QStringLiteral(" ms"));
    grid->addWidget(new QLabel(QStringLiteral("Pause between animated steps:")), 5, 0);
    grid->addWidget(animationDelaySpin, 5, 1);
    grid->setRowStretch(6, 1);
    grid->setColumnStretch(2, 1);
    return page;
}

void GeneralPrefNode::displaySettings(std::any&) {
    values_ = settings_.displaySettings();
    animationDelayMs_ = settings_.getAnimationDelayMs();
    if (portNumLabel)
        portNumLabel->setText(QString::number(values_.port));
    if (modeSelCheckbox)
        modeSelCheckbox->setChecked(values_.debugModeOn);
    if (syntaxErrSelCheckbox)
        syntaxErrSelCheckbox->setChecked(values_.retrieveSyntaxErr);
    if (skipRunAnimationSelCheckbox)
        skipRunAnimationSelCheckbox->setChecked(values_.skipRunAnimation);
    if (animationDelaySpin)
        animationDelaySpin->setValue(animationDelayMs_);
}

void GeneralPrefNode::saveSettings(std::any&) {
    if (modeSelCheckbox)
        values_.debugModeOn = modeSelCheckbox->isChecked();
    if (syntaxErrSelCheckbox)
        values_.retrieveSyntaxErr = syntaxErrSelCheckbox->isChecked();
    if (skipRunAnimationSelCheckbox)
        values_.skipRunAnimation = skipRunAnimationSelCheckbox->isChecked();
    bool saved = saveCurrentDebugMode();
    if (animationDelaySpin && animationDelaySpin->value() != animationDelayMs_) {
        animationDelayMs_ = animationDelaySpin->value();
        saved = settings_.saveAnimationDelayMs(animationDelayMs_) && saved;
    }
    if (!saved)
        tracehook::Tracer::trace(kSource, "saveSettings", "Error: Cannot save the settings.");
}

bool GeneralPrefNode::saveCurrentDebugMode() {
    return settings_.saveCurrentDebugMode(values_);
}

void GeneralPrefNode::displayHelp() {
    panekit::Application* app =
        panekit::Application::findApplication(QString::fromLatin1(Monitor::applicationKey));
    if (!app)
        return;
    panekit::HelpHandler& help = app->getHelpHandler();
    const QString name = app->getString(QStringLiteral("h_JspPref"));
    tracehook::Tracer::trace(kSource, "displayHelp",
                             "help url = " + help.resolve(name).toString().toStdString());
    tracehook::Tracer::trace(kSource, "displayHelp", "help file name = " + name.toStdString());
    help.showURL(name);
}

PreferenceMenu::PreferenceMenu(QWidget* parent, MonitorSettings settings)
    : dialog_(new panekit::Prefdeck(parent, label("L-JspPref"))) {
    dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog_->resize(600, 400);
    page_ = static_cast<GeneralPrefNode*>(
        dialog_->addPreferenceNode(std::make_unique<GeneralPrefNode>(std::move(settings))));
}

PreferenceMenu::~PreferenceMenu() {
    delete dialog_.data();
}

void PreferenceMenu::show(bool modal) {
    if (dialog_)
        dialog_->showCentered(modal);
}

} // namespace tracewin
