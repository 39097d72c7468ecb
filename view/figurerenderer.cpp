#define GL_GLEXT_PROTOTYPES 1
#include "view/figurerenderer.h"

#include "view/figurecamera.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <new>
#include <vector>

namespace {

void applyCamera(const FigureCamera &camera)
{
    gluPerspective(camera.fovy, camera.aspect, camera.zNear, camera.zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, camera.eyeDistance, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    glTranslatef(static_cast<float>(-camera.centre[0]), static_cast<float>(-camera.centre[1]),
                 static_cast<float>(-camera.centre[2]));
    if (camera.spins)
        glRotatef(camera.spinDegrees, 0.0f, 1.0f, 0.0f);
}

// The interpreter's draw-mode state, so that cached and immediate drawing look the same.
void beginLines()
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
}

void endLines()
{
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
}

} // namespace

FigureRenderer::FigureRenderer() = default;

FigureRenderer::~FigureRenderer() = default;

void FigureRenderer::setGeometry(std::shared_ptr<const lsGeometry> geometry)
{
    mGeometry = std::move(geometry);
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
    if (mUploaded == mGeometry.get())
        return;
    if (!mBuffer)
        glGenBuffers(1, &mBuffer);
    if (!mIndexBuffer)
        glGenBuffers(1, &mIndexBuffer);
    const lsGeometry &g = *mGeometry;
    glBindBuffer(GL_ARRAY_BUFFER, mBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(g.vertices.size() * sizeof(float)),
                 g.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    // The strips as separate segments in one draw call: a driver that splits a multi-draw
    // into one draw per strip pays for each of the many short branches.
    std::vector<GLuint> segments;
    try {
        segments.reserve(2 * g.vertexCount());
        for (std::size_t s = 0; s < g.stripFirst.size(); ++s) {
            const GLuint first = static_cast<GLuint>(g.stripFirst[s]);
            for (GLuint i = 1; i < static_cast<GLuint>(g.stripCount[s]); ++i) {
                segments.push_back(first + i - 1);
                segments.push_back(first + i);
            }
        }
    } catch (const std::bad_alloc &) {
        segments = {}; // no memory for the index list: the figure stays undrawn
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mIndexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(segments.size() * sizeof(GLuint)),
                 segments.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    mIndexCount = static_cast<GLsizei>(segments.size());
    mUploaded = mGeometry.get();
}

void FigureRenderer::draw(int width, int height, double spinDegrees)
{
    beginFrame(width, height);
    if (mGeometry) {
        applyCamera(FigureCamera::make(mGeometry->box, width, height, spinDegrees));
        uploadGeometry();
        beginLines();
        glBindBuffer(GL_ARRAY_BUFFER, mBuffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glMultiDrawArrays(GL_LINE_STRIP, mGeometry->stripFirst.data(), mGeometry->stripCount.data(),
                          static_cast<GLsizei>(mGeometry->stripFirst.size()));
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        endLines();
    }
    glFlush();
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
    if (mIndexBuffer)
        glDeleteBuffers(1, &mIndexBuffer);
    mBuffer = mIndexBuffer = 0;
    mIndexCount = 0;
    mUploaded = nullptr;
}
