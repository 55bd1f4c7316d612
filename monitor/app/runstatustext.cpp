#include "app/runstatustext.h"

#include "core/resourceconstants.h"
#include "panekit/application.h"

namespace tracewin {

QString RunStatusText::resource(const char* key) const {
    return app_.getString(QString::fromLatin1(key));
}

QString RunStatusText::keyOf(const char* itemKey) const {
    return app_.parseMenuResource(QString::fromLatin1(itemKey))
        .accelerator.toString(QKeySequence::NativeText);
}

QString RunStatusText::text(const RunStatus& status) const {
    using R = ResourceConstants;
    using Kind = RunStatus::Kind;
    const QString file = QString::fromStdString(status.file);
    switch (status.kind) {
    case Kind::None:
        return {};
    case Kind::Waiting:
        return resource("StWaiting").arg(status.port);
    case Kind::Ready:
        return resource("StReady").arg(file, keyOf(R::MI_Step), keyOf(R::MI_Run));
    case Kind::Stopped:
        return resource("StStopped")
            .arg(file, QString::number(status.line), keyOf(R::MI_Step), keyOf(R::MI_Run));
    case Kind::Running:
        return resource("StRunning").arg(keyOf(R::MI_Step), keyOf(R::MI_Terminate));
    case Kind::Ended:
        return resource("StEnded").arg(status.port);
    case Kind::CompileErrors:
        // Only the keys that go somewhere from the error shown.
        if (status.nextError && status.previousError)
            return resource("StCompileErrors")
                .arg(file, keyOf(R::MI_NextErr), keyOf(R::MI_PrevErr));
        if (status.nextError)
            return resource("StCompileErrorsFirst").arg(file, keyOf(R::MI_NextErr));
        if (status.previousError)
            return resource("StCompileErrorsLast").arg(file, keyOf(R::MI_PrevErr));
        return resource("StCompileError").arg(file);
    }
    return {};
}

} // namespace tracewin
