#include "views/sourcemodels.h"

#include "tracehook/tracer.h"

namespace tracewin {

void NamedModel::install() {
    tracehook::Tracer::printLine(modelName() + " installed");
}
void NamedModel::uninstall() {
    tracehook::Tracer::printLine(modelName() + " uninstalled");
}
void NamedModel::applicationExiting() {
    tracehook::Tracer::printLine(modelName() + ": application exiting");
}

} // namespace tracewin
