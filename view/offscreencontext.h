#pragma once

#include <string>

// A desktop GL compatibility context without any window system: EGL on Mesa's surfaceless
// platform, drawing into a framebuffer object with colour and depth renderbuffers.
class OffscreenContext
{
public:
    OffscreenContext() = default;
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext &) = delete;
    OffscreenContext &operator=(const OffscreenContext &) = delete;

    // Errors: each returns false on failure; create and resize then say why in *error when
    // error is not null (it may be).

    // Creates the context and a width x height framebuffer, and makes them current on the
    // calling thread.
    [[nodiscard]] bool create(int width, int height, std::string *error);
    // Makes the context current on the calling thread with its framebuffer bound.
    [[nodiscard]] bool makeCurrent();
    // Resizes the framebuffer (contents undefined afterwards); the context must be current.
    [[nodiscard]] bool resize(int width, int height, std::string *error);

    int width() const { return mWidth; }
    int height() const { return mHeight; }

private:
    void destroy();

    void *mDisplay = nullptr;
    void *mContext = nullptr;
    unsigned mFramebuffer = 0;
    unsigned mColorBuffer = 0;
    unsigned mDepthBuffer = 0;
    int mWidth = 0;
    int mHeight = 0;
};
