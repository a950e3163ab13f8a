#pragma once

#include <memory>
#include <sndfile.h>

// An open libsndfile file, closed when the handle goes away.
struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFileHandle = std::unique_ptr<SNDFILE, SoundFileCloser>;
