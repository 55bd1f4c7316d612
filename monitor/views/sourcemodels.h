#pragma once

#include "views/commonmodel.h"

#include <string>

namespace tracewin {

// The models of the monitor's views. Each announces its framework hooks on standard
// output; all but the HTML model add nothing to CommonModel.
class NamedModel : public CommonModel {
public:
    using CommonModel::CommonModel;
    void install() override;
    void uninstall() override;
    void applicationExiting() override;

protected:
    virtual std::string modelName() const = 0;
};

// The JSP source of the page being executed.
class JspModel : public NamedModel {
public:
    using NamedModel::NamedModel;

protected:
    std::string modelName() const override { return "JspModel"; }
};

// The generated Java source behind the page.
class JavaModel : public NamedModel {
public:
    using NamedModel::NamedModel;

protected:
    std::string modelName() const override { return "JavaModel"; }
};

// The generated Java source shown by the breakpoint page.
class JspBreakModel : public NamedModel {
public:
    using NamedModel::NamedModel;

protected:
    std::string modelName() const override { return "JspBreakModel"; }
};

// The JSP file list holds no lines.
class JspLstModel : public NamedModel {
public:
    using NamedModel::NamedModel;

protected:
    std::string modelName() const override { return "JspLstModel"; }
};

} // namespace tracewin
