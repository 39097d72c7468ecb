#include "cli/animationoutput.h"

#include "cli/commandline.h"
#include "view/export/figureanimation.h"

namespace sprig {

bool writeAnimationOutput(const FigureRequest &request,
                          const FigureResult &figure,
                          const std::array<double, 4> &lineColor,
                          const std::array<double, 4> &backgroundColor,
                          const RenderOptions &options,
                          const std::string &path,
                          QString *error,
                          std::string *warning)
{
    AnimationOptions animation;
    animation.kind = options.animation;
    animation.width = options.width;
    animation.height = options.height;
    animation.frames = options.frames;
    animation.delayMs = options.delayMs;
    animation.framing = options.growthFraming;
    animation.spinDegrees = options.spinDegrees;
    animation.view = options.view;
    animation.lineColor = lineColor;
    animation.backgroundColor = backgroundColor;
    std::string cause;
    if (!writeAnimation(figure, request.angle, animation, path, &cause, {}, warning)) {
        *error = QString::fromStdString(cause);
        return false;
    }
    return true;
}

} // namespace sprig
