#pragma once

// An OpenGL context without a window or a display, for drawing the preview
// images of a batch conversion: EGL on Mesa's surfaceless platform. Current
// from construction (when valid) to destruction.
class HeadlessContext {
public:
    HeadlessContext();
    ~HeadlessContext();

    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    bool isValid() const { return m_context != nullptr; }

private:
    void* m_display = nullptr;
    void* m_context = nullptr;
};
