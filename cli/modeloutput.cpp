#include "cli/modeloutput.h"

#include "cli/commandline.h"
#include "view/export/modelexport.h"

using namespace Qt::StringLiterals;

namespace sprig {

bool writeModelOutput(const FigureResult &figure,
                      const RenderOptions &options,
                      const QString &name,
                      const std::string &path,
                      QString *error,
                      std::string *warning)
{
    if (!figure.hasAxiom) {
        *error = QString::fromStdString(path)
                 + u": the document has no axiom: a model needs a "
                   u"figure"_s;
        return false;
    }
    ModelOptions model;
    model.format = options.kind == OutputKind::Ply ? ModelFormat::Ply : ModelFormat::Obj;
    model.tubeRadius = options.tubeRadius;
    model.name = name.toStdString();
    model.pass = figure.pass;
    std::string cause;
    if (!writeModel(*figure.rules, *figure.commands.source(), model, path, &cause, {}, warning)) {
        *error = QString::fromStdString(cause);
        return false;
    }
    return true;
}

} // namespace sprig
