#include "batch/filesetbatchstart.h"

#include "batch/batchwindow.h"

namespace velmora::batch {

bool FileSetBatchStart::takeInputs(BatchWindow& window, int) {
    const fileset::FileSet& fileSet = window.fileSet();
    if (!fileSet.isHeld())
        return false;
    localPath_ = fileSet.path();
    image_ = fileSet.image();
    return true;
}

bool FileSetBatchStart::inputsStillHeld(BatchWindow& window) const {
    // The same image, not merely a file of the same name: a Clear and a new Add
    // in between give another image.
    return window.fileSet().isHeld() && window.fileSet().image() == image_;
}

} // namespace velmora::batch
