#include "RecordingKell.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <stdexcept>

namespace kellrec {

namespace {

template <typename T>
const T& argAs(const std::vector<Value>& args, std::size_t i)
{
    return std::get<T>(args.at(i));
}

}  // namespace

int64_t Call::integer(std::size_t i) const { return argAs<int64_t>(args, i); }
float Call::real(std::size_t i) const { return argAs<float>(args, i); }
const std::string& Call::text(std::size_t i) const { return argAs<std::string>(args, i); }
const void* Call::handle(std::size_t i) const { return argAs<Handle>(args, i).value; }
coord3 Call::vector(std::size_t i) const { return argAs<coord3>(args, i); }
quaternion Call::rotation(std::size_t i) const { return argAs<quaternion>(args, i); }
int64_t Call::integerResult() const { return std::get<int64_t>(result); }
float Call::realResult() const { return std::get<float>(result); }
const void* Call::handleResult() const { return std::get<Handle>(result).value; }

namespace {
struct ValuePrinter {
    std::ostream& out;
    void operator()(std::monostate) const { out << "-"; }
    void operator()(int64_t v) const { out << v; }
    void operator()(float v) const { out << v << 'f'; }
    void operator()(const std::string& v) const { out << '"' << v << '"'; }
    void operator()(Handle v) const { out << v.value; }
    void operator()(const coord3& v) const { out << v; }
    void operator()(const quaternion& v) const { out << v; }
};
}  // namespace

std::ostream& operator<<(std::ostream& out, const Call& call)
{
    out << call.name << '(';
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        if (i)
            out << ", ";
        std::visit(ValuePrinter{out}, call.args[i]);
    }
    out << ')';
    if (!std::holds_alternative<std::monostate>(call.result)) {
        out << " -> ";
        std::visit(ValuePrinter{out}, call.result);
    }
    return out;
}

RecordingKell& RecordingKell::reset()
{
    *this = RecordingKell();
    return *this;
}

RecordingKell& RecordingKell::failCall(const std::string& function, unsigned nth)
{
    mFailOn[function].insert(nth);
    return *this;
}

RecordingKell& RecordingKell::failAlways(const std::string& function)
{
    mFailAlways.insert(function);
    return *this;
}

RecordingKell& RecordingKell::onCall(const std::string& function, std::function<void()> hook)
{
    mHooks[function] = std::move(hook);
    return *this;
}

RecordingKell& RecordingKell::documentKind(int16_t kind)
{
    mDocumentKind = kind;
    return *this;
}

RecordingKell& RecordingKell::frameRate(float framesPerSecond)
{
    mFrameRate = framesPerSecond;
    return *this;
}

RecordingKell& RecordingKell::frameCount(int32_t frames)
{
    mFrameCount = frames;
    return *this;
}

RecordingKell& RecordingKell::figureCount(int32_t figures)
{
    mFigureCount = figures;
    return *this;
}

RecordingKell& RecordingKell::fileJoint(const std::string& name, const std::string& parent)
{
    FileJoint joint{name, SKL_NO_JOINT};
    if (!parent.empty()) {
        auto found = std::find_if(mFileJoints.begin(), mFileJoints.end(),
                                  [&](const FileJoint& j) { return j.name == parent; });
        if (found == mFileJoints.end())
            throw std::invalid_argument("fileJoint: unknown parent " + parent);
        joint.parent = static_cast<SKL_JOINT_ID>(found - mFileJoints.begin());
    }
    mFileJoints.push_back(joint);
    return *this;
}

RecordingKell& RecordingKell::fileJoints(std::initializer_list<std::string> rootNames)
{
    for (const std::string& name : rootNames)
        fileJoint(name);
    return *this;
}

RecordingKell& RecordingKell::rootKey(int32_t frame, int32_t channel, float value)
{
    mRootKeys[{frame, channel}] = value;
    return *this;
}

RecordingKell& RecordingKell::rootTranslation(int32_t frame, float x, float y, float z)
{
    return rootKey(frame, 1, x).rootKey(frame, 2, y).rootKey(frame, 3, z);
}

RecordingKell& RecordingKell::orientationKey(int32_t frame, SKL_JOINT_ID joint, quaternion rotation)
{
    mOrientationKeys[{frame, joint}] = rotation;
    return *this;
}

std::vector<std::string> RecordingKell::names() const
{
    std::vector<std::string> result;
    result.reserve(mCalls.size());
    for (const Call& c : mCalls)
        result.push_back(c.name);
    return result;
}

std::vector<std::string> RecordingKell::names(const std::set<std::string>& functions) const
{
    std::vector<std::string> result;
    for (const Call& c : mCalls) {
        if (functions.count(c.name))
            result.push_back(c.name);
    }
    return result;
}

std::vector<Call> RecordingKell::callsTo(const std::string& function) const
{
    std::vector<Call> result;
    for (const Call& c : mCalls) {
        if (c.name == function)
            result.push_back(c);
    }
    return result;
}

std::size_t RecordingKell::count(const std::string& function) const
{
    return static_cast<std::size_t>(std::count_if(
        mCalls.begin(), mCalls.end(), [&](const Call& c) { return c.name == function; }));
}

const Call& RecordingKell::call(const std::string& function, unsigned nth) const
{
    const long at = indexOf(function, nth);
    if (at < 0)
        throw std::out_of_range("no call " + std::to_string(nth) + " of " + function);
    return mCalls[static_cast<std::size_t>(at)];
}

long RecordingKell::indexOf(const std::string& function, unsigned nth) const
{
    unsigned seen = 0;
    for (std::size_t i = 0; i < mCalls.size(); ++i) {
        if (mCalls[i].name == function && ++seen == nth)
            return static_cast<long>(i);
    }
    return -1;
}

bool RecordingKell::calledInOrder(std::initializer_list<std::string> functions) const
{
    long previous = -1;
    for (const std::string& f : functions) {
        const long at = indexOf(f);
        if (at < 0 || at <= previous)
            return false;
        previous = at;
    }
    return true;
}

SKL_JOINT_ID RecordingKell::createdJoint(const std::string& name) const
{
    SKL_JOINT_ID id = SKL_NO_JOINT;
    for (const Call& c : mCalls) {
        if (c.name == "skl_skeleton_joint_create_f" && c.text(1) == name)
            id = static_cast<SKL_JOINT_ID>(c.integerResult());
    }
    return id;
}

std::size_t RecordingKell::record(const char* name, std::vector<Value> args)
{
    mCalls.push_back(Call{name, std::move(args), std::monostate{}});
    return mCalls.size() - 1;
}

void RecordingKell::setResult(std::size_t call, Value result)
{
    mCalls.at(call).result = std::move(result);
}

bool RecordingKell::failsNow(const std::string& function)
{
    const unsigned nth = ++mCallCounts[function];
    auto hook = mHooks.find(function);
    if (hook != mHooks.end() && hook->second) {
        // A copy: the hook may script this double again.
        const std::function<void()> run = hook->second;
        run();
    }
    if (mFailAlways.count(function))
        return true;
    auto scripted = mFailOn.find(function);
    return scripted != mFailOn.end() && scripted->second.count(nth) != 0;
}

const void* RecordingKell::newHandle()
{
    // Distinct, aligned, never dereferenced by anyone.
    mNextHandle += 0x10;
    return reinterpret_cast<const void*>(mNextHandle);
}

SKL_JOINT_ID RecordingKell::nextJointId(const void* skeleton)
{
    return mJointCounts[skeleton]++;
}

}  // namespace kellrec

kellrec::RecordingKell& recordingKell()
{
    static kellrec::RecordingKell instance;
    return instance;
}

bool operator==(const coord3& a, const coord3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool operator==(const quaternion& a, const quaternion& b)
{
    return a.f0 == b.f0 && a.f1 == b.f1 && a.f2 == b.f2 && a.f3 == b.f3;
}

std::ostream& operator<<(std::ostream& out, const coord3& v)
{
    return out << '(' << v.x << ", " << v.y << ", " << v.z << ')';
}

std::ostream& operator<<(std::ostream& out, const quaternion& q)
{
    return out << '(' << q.f0 << ", " << q.f1 << ", " << q.f2 << ", " << q.f3 << ')';
}

// ---------------------------------------------------------------------------
// The library's C functions.

using kellrec::Handle;
using kellrec::Value;

namespace {

kellrec::RecordingKell& rec() { return recordingKell(); }

Value h(const void* p) { return Handle{p}; }
Value i(int64_t v) { return v; }
Value s(const char* text) { return std::string(text ? text : "(null)"); }

std::string identifierPath(const FM_FILE_IDENTIFIER_TYPE* identifier)
{
    if (!identifier)
        return "(null)";
    const std::size_t length = std::min<std::size_t>(identifier->length, FM_PATH_CAPACITY - 1);
    return std::string(identifier->path, strnlen(identifier->path, length));
}

template <typename H>
H handleAs(const void* p)
{
    return reinterpret_cast<H>(const_cast<void*>(p));
}

bool jointNameFits(const char* name)
{
    if (!name)
        return false;
    const std::size_t length = strnlen(name, SKL_JOINT_NAME_CAPACITY);
    return length > 0 && length < SKL_JOINT_NAME_CAPACITY;
}

// Depth first over the scripted file joints: enter a joint, its children,
// then leave it.
void visitOrder(const std::vector<kellrec::RecordingKell::FileJoint>& joints, SKL_JOINT_ID joint,
                std::vector<std::pair<int16_t, SKL_JOINT_ID>>& visits)
{
    visits.emplace_back(SK_VISIT_ENTER, joint);
    for (std::size_t child = 0; child < joints.size(); ++child) {
        if (joints[child].parent == joint)
            visitOrder(joints, static_cast<SKL_JOINT_ID>(child), visits);
    }
    visits.emplace_back(SK_VISIT_LEAVE, joint);
}

}  // namespace

extern "C" {

KL_BOOL mvl_movantis_lib_initialize_lite_f(void)
{
    const std::size_t c = rec().record(__func__, {});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

void mvl_movantis_lib_exit(void)
{
    rec().record(__func__, {});
    rec().failsNow(__func__);
}

KL_BOOL fm_path_name_to_file_id_f(const char* path, FM_FILE_IDENTIFIER_TYPE* identifier)
{
    const std::size_t c = rec().record(__func__, {s(path)});
    KL_BOOL result = 0;
    if (!rec().failsNow(__func__) && path && identifier) {
        const std::size_t length = strnlen(path, FM_PATH_CAPACITY);
        if (length < FM_PATH_CAPACITY) {
            std::memset(identifier, 0, sizeof *identifier);
            identifier->length = static_cast<uint32_t>(length);
            std::memcpy(identifier->path, path, length);
            result = 1;
        }
    }
    rec().setResult(c, i(result));
    return result;
}

int16_t dc_file_document_kind_get_f(const FM_FILE_IDENTIFIER_TYPE* identifier)
{
    const std::size_t c = rec().record(__func__, {identifierPath(identifier)});
    const int16_t kind = rec().failsNow(__func__) ? DC_KIND_UNREADABLE : rec().mDocumentKind;
    rec().setResult(c, i(kind));
    return kind;
}

ANM_ANIMATION_HANDLE anm_animation_create_f(void)
{
    const std::size_t c = rec().record(__func__, {});
    const void* result = rec().failsNow(__func__) ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<ANM_ANIMATION_HANDLE>(result);
}

FIG_FIGURE_HANDLE anm_animation_figure_add_f(ANM_ANIMATION_HANDLE animation,
                                             SKL_SKELETON_HANDLE skeleton, int32_t flags)
{
    const std::size_t c = rec().record(__func__, {h(animation), h(skeleton), i(flags)});
    const void* result = rec().failsNow(__func__) ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<FIG_FIGURE_HANDLE>(result);
}

KL_BOOL anm_animation_save_as_f(ANM_ANIMATION_HANDLE animation,
                                const FM_FILE_IDENTIFIER_TYPE* identifier, int32_t flags,
                                void* reserved)
{
    const std::size_t c = rec().record(__func__, {h(animation), identifierPath(identifier), i(flags), h(reserved)});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

ANM_ANIMATION_HANDLE anm_animation_open_f(const FM_FILE_IDENTIFIER_TYPE* identifier, int32_t flags)
{
    const std::size_t c = rec().record(__func__, {identifierPath(identifier), i(flags)});
    const void* result = rec().failsNow(__func__)
                             ? reinterpret_cast<const void*>(ANM_INVALID_ANIMATION)
                             : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<ANM_ANIMATION_HANDLE>(result);
}

void anm_animation_dispose(ANM_ANIMATION_HANDLE animation)
{
    rec().record(__func__, {h(animation)});
    rec().failsNow(__func__);
}

FIG_FIGURE_HANDLE anm_animation_figure_get_by_index_f(ANM_ANIMATION_HANDLE animation, int32_t index)
{
    const std::size_t c = rec().record(__func__, {h(animation), i(index)});
    const bool present = index >= 0 && index < rec().mFigureCount;
    const void* result = rec().failsNow(__func__) || !present ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<FIG_FIGURE_HANDLE>(result);
}

float anm_animation_frame_rate_get_f(ANM_ANIMATION_HANDLE animation)
{
    const std::size_t c = rec().record(__func__, {h(animation)});
    rec().failsNow(__func__);
    rec().setResult(c, rec().mFrameRate);
    return rec().mFrameRate;
}

int32_t anm_animation_number_of_frames_get_f(ANM_ANIMATION_HANDLE animation)
{
    const std::size_t c = rec().record(__func__, {h(animation)});
    rec().failsNow(__func__);
    rec().setResult(c, i(rec().mFrameCount));
    return rec().mFrameCount;
}

SKL_SKELETON_HANDLE fig_figure_get_skel(FIG_FIGURE_HANDLE figure)
{
    const std::size_t c = rec().record(__func__, {h(figure)});
    const void* result = rec().failsNow(__func__) ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<SKL_SKELETON_HANDLE>(result);
}

KL_BOOL fgf_frame_value_key_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel)
{
    const std::size_t c = rec().record(__func__, {h(figure), i(frame), i(channel)});
    const KL_BOOL result =
        !rec().failsNow(__func__) && rec().mRootKeys.count({frame, channel}) ? 1 : 0;
    rec().setResult(c, i(result));
    return result;
}

float fgf_frame_value_get_f(FIG_FIGURE_HANDLE figure, int32_t frame, int32_t channel)
{
    const std::size_t c = rec().record(__func__, {h(figure), i(frame), i(channel)});
    rec().failsNow(__func__);
    auto found = rec().mRootKeys.find({frame, channel});
    const float value = found == rec().mRootKeys.end() ? 0.0f : found->second;
    rec().setResult(c, value);
    return value;
}

KL_BOOL fgf_frame_joint_orientation_key_f(FIG_FIGURE_HANDLE figure, int32_t frame,
                                          SKL_JOINT_ID joint, int32_t flags)
{
    const std::size_t c = rec().record(__func__, {h(figure), i(frame), i(joint), i(flags)});
    const KL_BOOL result =
        !rec().failsNow(__func__) && rec().mOrientationKeys.count({frame, joint}) ? 1 : 0;
    rec().setResult(c, i(result));
    return result;
}

void fgf_frame_joint_orientation_get(FIG_FIGURE_HANDLE figure, int32_t frame, SKL_JOINT_ID joint,
                                     quaternion* orientation, int32_t flags)
{
    rec().record(__func__, {h(figure), i(frame), i(joint), h(orientation), i(flags)});
    rec().failsNow(__func__);
    if (!orientation)
        return;
    auto found = rec().mOrientationKeys.find({frame, joint});
    // Unkeyed answers the file's identity rotation.
    *orientation = found == rec().mOrientationKeys.end() ? quaternion{-1.0f, 0.0f, 0.0f, 0.0f}
                                                         : found->second;
}

SKL_SKELETON_HANDLE skl_skeleton_skel_create_f(const char* name)
{
    const std::size_t c = rec().record(__func__, {s(name)});
    const void* result = rec().failsNow(__func__) ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<SKL_SKELETON_HANDLE>(result);
}

SKL_JOINT_ID skl_skeleton_joint_create_f(SKL_SKELETON_HANDLE skeleton, const char* name)
{
    const std::size_t c = rec().record(__func__, {h(skeleton), s(name)});
    // Like the library, names it cannot hold are refused.
    const SKL_JOINT_ID id = rec().failsNow(__func__) || !jointNameFits(name)
                                ? SKL_NO_JOINT
                                : rec().nextJointId(skeleton);
    rec().setResult(c, i(id));
    return id;
}

void skl_skeleton_parent_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, SKL_JOINT_ID parent)
{
    rec().record(__func__, {h(skeleton), i(joint), i(parent)});
    rec().failsNow(__func__);
}

void skl_skeleton_root_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint)
{
    rec().record(__func__, {h(skeleton), i(joint)});
    rec().failsNow(__func__);
}

void skl_skeleton_offset_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint, coord3 offset)
{
    rec().record(__func__, {h(skeleton), i(joint), offset});
    rec().failsNow(__func__);
}

void skl_skeleton_joint_orientation_set(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                        const quaternion* orientation)
{
    const Value rotation = orientation ? Value(*orientation) : Value(std::monostate{});
    rec().record(__func__, {h(skeleton), i(joint), rotation});
    rec().failsNow(__func__);
}

KL_BOOL skl_skeleton_part_object_attach_f(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                          POB_PART_OBJECT_HANDLE partObject)
{
    const std::size_t c = rec().record(__func__, {h(skeleton), i(joint), h(partObject)});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

KL_BOOL skl_skeleton_skel_completed_f(SKL_SKELETON_HANDLE skeleton, const char* name)
{
    const std::size_t c = rec().record(__func__, {h(skeleton), s(name)});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

void skl_skeleton_joint_name_get(SKL_SKELETON_HANDLE skeleton, SKL_JOINT_ID joint,
                                 char name[SKL_JOINT_NAME_CAPACITY])
{
    rec().record(__func__, {h(skeleton), i(joint)});
    rec().failsNow(__func__);
    if (!name)
        return;
    name[0] = '\0';
    const auto& joints = rec().mFileJoints;
    if (joint >= 0 && static_cast<std::size_t>(joint) < joints.size()) {
        const std::string& text = joints[static_cast<std::size_t>(joint)].name;
        const std::size_t length = std::min<std::size_t>(text.size(), SKL_JOINT_NAME_CAPACITY - 1);
        std::memcpy(name, text.data(), length);
        name[length] = '\0';
    }
}

KL_BOOL sk_skeleton_traverse(SKL_SKELETON_HANDLE skeleton, SK_TRAVERSE_CALLBACK callback, ...)
{
    const std::size_t c = rec().record(__func__, {h(skeleton), h(reinterpret_cast<const void*>(callback))});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    if (!result || !callback)
        return result;
    // Worked out first: the callbacks may add to the record meanwhile.
    const auto& joints = rec().mFileJoints;
    std::vector<std::pair<int16_t, SKL_JOINT_ID>> visits;
    for (std::size_t root = 0; root < joints.size(); ++root) {
        if (joints[root].parent == SKL_NO_JOINT)
            visitOrder(joints, static_cast<SKL_JOINT_ID>(root), visits);
    }
    for (const auto& visit : visits) {
        // A fresh va_list for every call, as the library gives.
        va_list extra;
        va_start(extra, callback);
        callback(visit.first, skeleton, visit.second, extra);
        va_end(extra);
    }
    return result;
}

POB_PART_OBJECT_HANDLE pob_part_object_obj_create_f(int32_t flags)
{
    const std::size_t c = rec().record(__func__, {i(flags)});
    const void* result = rec().failsNow(__func__) ? nullptr : rec().newHandle();
    rec().setResult(c, h(result));
    return handleAs<POB_PART_OBJECT_HANDLE>(result);
}

KL_BOOL pob_part_object_sphere_add(POB_PART_OBJECT_HANDLE partObject, float radius, int32_t flags)
{
    const std::size_t c = rec().record(__func__, {h(partObject), radius, i(flags)});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

KL_BOOL pob_part_object_bone_add(POB_PART_OBJECT_HANDLE partObject, float length,
                                 const coord3* direction)
{
    const Value dir = direction ? Value(*direction) : Value(std::monostate{});
    const std::size_t c = rec().record(__func__, {h(partObject), length, dir});
    const KL_BOOL result = rec().failsNow(__func__) ? 0 : 1;
    rec().setResult(c, i(result));
    return result;
}

void pob_part_object_bounds_calc(POB_PART_OBJECT_HANDLE partObject)
{
    rec().record(__func__, {h(partObject)});
    rec().failsNow(__func__);
}

}  // extern "C"
