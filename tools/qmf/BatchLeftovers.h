// Temporary files a killed or crashed child left beside its output. A child
// that ends normally removes its own; one that dies by a signal cannot.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qmf {

class BatchLeftovers {
public:
    // Notes the hidden names already in the outputs' folders, so that only
    // files that appear during the batch are ever removed.
    explicit BatchLeftovers(const std::vector<std::string>& outputs);

    // Removes the temporary files of these outputs that appeared since: the
    // tool's own (".qmf-tmp-NAME.XXXXXX") and the library's, made beside
    // either the output or the tool's temporary file. Call it only when no
    // child is running. Returns how many were removed.
    std::size_t remove(const std::vector<std::string>& failedOutputs) const;

private:
    static std::string folderOf(const std::string& target);
    std::map<std::string, std::set<std::string>> before_;  // folder -> hidden names at the start
};

}  // namespace qmf
