#include "BatchLeftovers.h"

#include "fileio/SafeFile.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qmf {

namespace {

// Hidden names only: every temporary name starts with a dot.
std::set<std::string> hiddenNames(const std::string& folder) {
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] == '.' && e->d_name[1] != '\0' && !(e->d_name[1] == '.' && e->d_name[2] == '\0'))
            names.insert(e->d_name);
    ::closedir(d);
    return names;
}

std::string targetOf(const std::string& output) {
    try {
        return fileio::resolveLinks(output);
    } catch (const fileio::Error&) {
        return output;
    }
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string BatchLeftovers::folderOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : target.substr(0, slash);
}

BatchLeftovers::BatchLeftovers(const std::vector<std::string>& outputs) {
    for (const std::string& out : outputs) {
        const std::string folder = folderOf(targetOf(out));
        if (!before_.count(folder)) before_[folder] = hiddenNames(folder);
    }
}

std::size_t BatchLeftovers::remove(const std::vector<std::string>& failedOutputs) const {
    // Prefixes of what a child writing each output may leave, by folder.
    // Each with the exact length of such a name (mkstemp's tail is six bytes).
    std::map<std::string, std::vector<std::pair<std::string, std::size_t>>> prefixes;
    for (const std::string& out : failedOutputs) {
        const std::string target = targetOf(out);
        std::string ours = nameOf(fileio::temporaryTemplate(target));  // ".qmf-tmp-NAME.XXXXXX"
        ours.erase(ours.size() - 6);
        auto& list = prefixes[folderOf(target)];
        list.emplace_back(ours, ours.size() + 6);
        // The library saves beside the file it is given under "." + at most
        // 200 bytes of its name + ".kell-XXXXXX".
        const std::size_t oursCut = std::min<std::size_t>(ours.size() + 6, 200);
        list.emplace_back("." + ours.substr(0, oursCut), 1 + oursCut + 12);
        const std::string direct = "." + nameOf(target).substr(0, 200) + ".kell-";
        list.emplace_back(direct, direct.size() + 6);
    }
    std::size_t removed = 0;
    for (const auto& [folder, list] : prefixes) {
        const auto known = before_.find(folder);
        std::set<std::string> fresh;
        for (const std::string& name : hiddenNames(folder))
            if (known == before_.end() || !known->second.count(name)) fresh.insert(name);
        for (const auto& [prefix, size] : list)
            for (auto it = fresh.lower_bound(prefix); it != fresh.end() && it->compare(0, prefix.size(), prefix) == 0;) {
                if (it->size() != size) {
                    ++it;
                    continue;
                }
                const std::string path = (folder == "/" ? "" : folder) + "/" + *it;
                struct stat st;
                if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
                it = fresh.erase(it);
            }
    }
    return removed;
}

}  // namespace qmf
