// Scene joint name -> library joint id, filled while the skeleton is built so
// that a joint's parent can be found by the parent's name.
#ifndef QMF_EXPORT_JOINTNAMETABLE_H
#define QMF_EXPORT_JOINTNAMETABLE_H

#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "interfaces/AnimLibrary.h"

class JointNameTable
{
public:
    void clear() { mIds.clear(); }

    // Inserts the name, or gives an existing name the new id.
    void enter(const std::string& name, SKL_JOINT_ID id) { mIds[name] = id; }

    // Exact, case-sensitive match.
    std::optional<SKL_JOINT_ID> find(const std::string& name) const
    {
        const auto found = mIds.find(name);
        if (found == mIds.end())
            return std::nullopt;
        return found->second;
    }

    std::size_t size() const { return mIds.size(); }
    bool empty() const { return mIds.empty(); }

private:
    // std::string orders byte-wise (as unsigned char), whatever the locale.
    std::map<std::string, SKL_JOINT_ID> mIds;
};

#endif
