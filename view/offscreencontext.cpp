#define GL_GLEXT_PROTOTYPES 1
#include "view/offscreencontext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

namespace {

std::string eglFailure(const char *what)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04x)", what,
                  static_cast<unsigned>(eglGetError()));
    return text;
}

bool fail(std::string *error, const std::string &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

OffscreenContext::~OffscreenContext()
{
    destroy();
}

void OffscreenContext::destroy()
{
    if (!mContext)
        return;
    auto display = static_cast<EGLDisplay>(mDisplay);
    auto context = static_cast<EGLContext>(mContext);
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &mFramebuffer);
        glDeleteRenderbuffers(1, &mColorBuffer);
        glDeleteRenderbuffers(1, &mDepthBuffer);
    }
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    // The display stays initialised: other contexts of this process may share it.
    mContext = nullptr;
    mFramebuffer = mColorBuffer = mDepthBuffer = 0;
}

bool OffscreenContext::create(int width, int height, std::string *error)
{
    destroy();
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay)
        return fail(error, "EGL has no platform displays (eglGetPlatformDisplayEXT missing)");
    EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY)
        return fail(error, "no surfaceless EGL display");
    if (!eglInitialize(display, nullptr, nullptr))
        return fail(error, eglFailure("eglInitialize"));
    if (!eglBindAPI(EGL_OPENGL_API))
        return fail(error, eglFailure("eglBindAPI(OpenGL)"));
    const EGLint attributes[] = { EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE };
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT)
        return fail(error, eglFailure("eglCreateContext"));
    mDisplay = display;
    mContext = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        const std::string reason = eglFailure("eglMakeCurrent");
        destroy();
        return fail(error, reason);
    }
    glGenFramebuffers(1, &mFramebuffer);
    glGenRenderbuffers(1, &mColorBuffer);
    glGenRenderbuffers(1, &mDepthBuffer);
    if (!resize(width, height, error)) {
        destroy();
        return false;
    }
    return true;
}

bool OffscreenContext::resize(int width, int height, std::string *error)
{
    if (width <= 0 || height <= 0)
        return fail(error, "the framebuffer needs a positive size");
    glBindRenderbuffer(GL_RENDERBUFFER, mColorBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, mDepthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mColorBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, mDepthBuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return fail(error, "the framebuffer is incomplete (size too large?)");
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    mWidth = width;
    mHeight = height;
    return true;
}

bool OffscreenContext::makeCurrent()
{
    if (!mContext)
        return false;
    if (!eglMakeCurrent(static_cast<EGLDisplay>(mDisplay), EGL_NO_SURFACE, EGL_NO_SURFACE,
                        static_cast<EGLContext>(mContext)))
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    return true;
}
