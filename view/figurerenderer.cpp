#define GL_GLEXT_PROTOTYPES 1
#include "view/figurerenderer.h"

#include "engine/gl/glrender.h"
#include "view/figurecamera.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <vector>

namespace {

void applyCamera(const FigureCamera &camera)
{
    gluPerspective(camera.fovy, camera.aspect, camera.zNear, camera.zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, camera.eyeDistance, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    if (camera.tiltDegrees != 0.0f)
        glRotatef(camera.tiltDegrees, 1.0f, 0.0f, 0.0f);
    glTranslatef(static_cast<float>(-camera.centre[0]), static_cast<float>(-camera.centre[1]),
                 static_cast<float>(-camera.centre[2]));
    if (camera.spins) {
        const auto [ax, az] = camera.spinAxis;
        glTranslatef(static_cast<float>(ax), 0.0f, static_cast<float>(az));
        glRotatef(camera.spinDegrees, 0.0f, 1.0f, 0.0f);
        glTranslatef(static_cast<float>(-ax), 0.0f, static_cast<float>(-az));
    }
}

} // namespace

FigureRenderer::FigureRenderer() = default;

FigureRenderer::~FigureRenderer() = default;

void FigureRenderer::setGeometry(std::shared_ptr<const lsGeometry> geometry)
{
    // Uploaded even when it is the geometry set before: its storage may hold a new figure.
    mGeometry = std::move(geometry);
    mUploaded = false;
}

void FigureRenderer::beginFrame(int width, int height) const
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, width, height);
    glClearColor(static_cast<float>(mBackgroundColor[0]), static_cast<float>(mBackgroundColor[1]),
                 static_cast<float>(mBackgroundColor[2]), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(static_cast<float>(mLineColor[0]), static_cast<float>(mLineColor[1]),
              static_cast<float>(mLineColor[2]), static_cast<float>(mLineColor[3]));
}

void FigureRenderer::uploadGeometry()
{
    if (!mBuffer)
        glGenBuffers(1, &mBuffer);
    const lsGeometry &g = *mGeometry;
    const auto bytes = static_cast<GLsizeiptr>(g.vertices.size() * sizeof(float));
    glBindBuffer(GL_ARRAY_BUFFER, mBuffer);
    // A figure of the same size (the same string at another angle) goes into the buffer's
    // storage as it is, rather than into storage the driver allocates anew.
    if (bytes == mBufferBytes)
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, g.vertices.data());
    else
        glBufferData(GL_ARRAY_BUFFER, bytes, g.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    mBufferBytes = bytes;
    // Frames need the box and the strips too: copies of them free the geometry itself.
    std::copy(g.box, g.box + 6, mBox.begin());
    mStripFirst.assign(g.stripFirst.begin(), g.stripFirst.end());
    mStripCount.assign(g.stripCount.begin(), g.stripCount.end());
    mUploaded = true;
}

bool FigureRenderer::draw(int width,
                          int height,
                          double spinDegrees,
                          const FigureView &view,
                          const std::optional<PicturePart> &part,
                          const std::function<bool()> &abandon)
{
    bool drawn = true;
    beginFrame(part ? part->width : width, part ? part->height : height);
    if (mGeometry && !mUploaded)
        uploadGeometry();
    if (mUploaded) {
        if (part) {
            // Maps the part's share of the picture's normalized coordinates onto the whole
            // viewport (GL counts rows from the bottom).
            const double bottom = height - part->y - part->height;
            glTranslated((width - 2.0 * part->x - part->width) / part->width,
                         (height - 2.0 * bottom - part->height) / part->height, 0.0);
            glScaled(double(width) / part->width, double(height) / part->height, 1.0);
        }
        applyCamera(FigureCamera::make(mBox.data(), width, height, spinDegrees, view));
        lsBeginLines();
        if (!mSmoothLines)
            glDisable(GL_LINE_SMOOTH);
        glBindBuffer(GL_ARRAY_BUFFER, mBuffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        drawn = drawInParts(abandon);
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        lsEndLines();
    }
    glFlush();
    return drawn;
}

bool FigureRenderer::drawInParts(const std::function<bool()> &abandon) const
{
    // A strip longer than a part goes on in the next part from the vertex where it stopped.
    // A flush after each lets a software GL rasterize one part
    // while it sets up the next, in memory it reuses: a figure of millions of segments
    // drawn in one call takes a fifth longer.
    std::vector<std::int32_t> first, count;
    std::int32_t room = partVertices;
    const auto flush = [&] {
        glMultiDrawArrays(GL_LINE_STRIP, first.data(), count.data(),
                          static_cast<GLsizei>(first.size()));
        first.clear();
        count.clear();
        room = partVertices;
    };
    for (std::size_t s = 0; s < mStripFirst.size(); ++s) {
        std::int32_t from = mStripFirst[s], left = mStripCount[s];
        while (left > 0) {
            if (room < 2) {
                flush();
                glFlush();
                if (abandon && abandon())
                    return false;
            }
            const std::int32_t take = std::min(left, room);
            first.push_back(from);
            count.push_back(take);
            room -= take;
            left = take < left ? left - (take - 1) : 0;
            from += take - 1;
        }
    }
    flush();
    return true;
}

void FigureRenderer::drawImmediate(const lsRuleSet &rules,
                                   const char *string,
                                   int width,
                                   int height,
                                   double spinDegrees) const
{
    beginFrame(width, height);
    double box[6];
    lsRenderString(rules, string, 0, box);
    applyCamera(FigureCamera::make(box, width, height, spinDegrees));
    lsRenderString(rules, string, 1, nullptr);
    glFlush();
}

void FigureRenderer::releaseGL()
{
    if (mBuffer)
        glDeleteBuffers(1, &mBuffer);
    mBuffer = 0;
    mBufferBytes = -1;
    mUploaded = false;
}
