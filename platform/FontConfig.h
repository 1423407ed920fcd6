#pragma once
#include <thread>

namespace qb {

// Reading the font configuration (some dozens of XML files) is the largest part
// of the first text a program shows, and needs nothing of the toolkit: it runs on
// a thread of its own while the application object is made. Where the toolkit
// does not use fontconfig, nothing happens.
class FontConfigPreload {
public:
    FontConfigPreload();
    ~FontConfigPreload() { wait(); }
    FontConfigPreload(const FontConfigPreload&) = delete;
    FontConfigPreload& operator=(const FontConfigPreload&) = delete;

    // Returns once the configuration is read; call before the first text.
    void wait();

private:
    std::thread thread_;
};

} // namespace qb
