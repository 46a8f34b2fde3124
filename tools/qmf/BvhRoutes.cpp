// The BVH routes of `qmf convert`: the job's options handed to the BVH
// conversions, warnings to stderr and one closing line on stdout.
#include "BvhConvert.h"
#include "Convert.h"
#include "Printable.h"

#include <iostream>

namespace qmf {

namespace {

BvhOptions optionsOf(const ConvertJob& job) {
    BvhOptions o;
    o.unitToCm = job.unitToCm;
    o.unitName = job.unitName;
    if (!job.order.empty()) o.order = bvhRotationOrder(job.order);
    o.plugin = job.plugin;
    return o;
}

int report(const ConvertJob& job, const BvhConvertResult& r) {
    std::cout << "converted " << printable(job.in) << " to " << printable(job.out) << ": " << r.joints << " joint"
              << (r.joints == 1 ? "" : "s") << ", " << r.frames << " frame" << (r.frames == 1 ? "" : "s") << "\n";
    return 0;
}

}  // namespace

int convertBvhToClip(const ConvertJob& job) { return report(job, bvhToClip(job.in, job.out, optionsOf(job), std::cerr)); }
int convertBvhToMaya(const ConvertJob& job) { return report(job, bvhToMaya(job.in, job.out, optionsOf(job), std::cerr)); }
int convertClipToBvh(const ConvertJob& job) { return report(job, clipToBvh(job.in, job.out, optionsOf(job), std::cerr)); }

}  // namespace qmf
