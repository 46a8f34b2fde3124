// A recording stand-in for the Kell animation library, linked into test
// binaries instead of the real library. Every call is recorded in order with
// its arguments and result; answers and failures can be scripted.
//
//   RecordingKell& kell = recordingKell();
//   kell.reset();
//   kell.failCall("skl_skeleton_joint_create_f", 3)   // third call answers -1
//       .documentKind(DC_KIND_FOREIGN)
//       .fileJoint("hip").fileJoint("spine", "hip");
//   ... run the code under test ...
//   EXPECT_EQ(kell.count("anm_animation_dispose"), 1u);
//   EXPECT_THAT(kell.names(), ElementsAre(...));
#ifndef QMF_TESTS_RECORDINGKELL_H
#define QMF_TESTS_RECORDINGKELL_H

#include <kell.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace kellrec {

// Handles are recorded as plain addresses so tests can compare them.
struct Handle {
    const void* value = nullptr;
    bool operator==(const Handle& other) const { return value == other.value; }
    bool operator!=(const Handle& other) const { return value != other.value; }
};

// One recorded argument or result. Integers of every width (booleans, joint
// ids, kinds, frames, channels, flags) are held as int64_t; floats exactly.
using Value = std::variant<std::monostate, int64_t, float, std::string, Handle, coord3, quaternion>;

struct Call {
    std::string name;
    std::vector<Value> args;
    Value result;  // monostate for void functions

    // Typed access; a wrong type or index throws std::bad_variant_access /
    // std::out_of_range so a test can never read a value that was not there.
    int64_t integer(std::size_t i) const;
    float real(std::size_t i) const;
    const std::string& text(std::size_t i) const;
    const void* handle(std::size_t i) const;
    coord3 vector(std::size_t i) const;
    quaternion rotation(std::size_t i) const;

    int64_t integerResult() const;
    float realResult() const;
    const void* handleResult() const;
};

std::ostream& operator<<(std::ostream& out, const Call& call);

class RecordingKell {
public:
    // Forget every call and every script; answers return to their defaults.
    RecordingKell& reset();

    // --- scripting -------------------------------------------------------
    // The nth call (1-based) of the function fails: null, -1, false or
    // ANM_INVALID_ANIMATION as the function answers failure.
    RecordingKell& failCall(const std::string& function, unsigned nth);
    // Every call of the function fails.
    RecordingKell& failAlways(const std::string& function);

    // Runs the hook whenever the function is called, after the call is
    // recorded and before it answers (to look at the host at that moment).
    RecordingKell& onCall(const std::string& function, std::function<void()> hook);

    RecordingKell& documentKind(int16_t kind);        // default DC_KIND_MOVANTIS_ANIMATION
    RecordingKell& frameRate(float framesPerSecond);  // default 30
    RecordingKell& frameCount(int32_t frames);        // default 0
    RecordingKell& figureCount(int32_t figures);      // default 1

    // Joints of the skeleton an opened file's figure holds, for
    // skl_skeleton_joint_name_get and sk_skeleton_traverse. A joint's id is
    // its place in the order added. An empty parent makes it a root.
    RecordingKell& fileJoint(const std::string& name, const std::string& parent = std::string());
    RecordingKell& fileJoints(std::initializer_list<std::string> rootNames);

    // Frame data of the figure. A channel or joint answers "key present"
    // only where a key was given.
    RecordingKell& rootKey(int32_t frame, int32_t channel, float value);
    RecordingKell& rootTranslation(int32_t frame, float x, float y, float z);
    RecordingKell& orientationKey(int32_t frame, SKL_JOINT_ID joint, quaternion rotation);

    // --- queries ---------------------------------------------------------
    const std::vector<Call>& calls() const { return mCalls; }
    std::vector<std::string> names() const;
    // Names of the calls to any of the given functions, in call order.
    std::vector<std::string> names(const std::set<std::string>& functions) const;
    std::vector<Call> callsTo(const std::string& function) const;
    std::size_t count(const std::string& function) const;
    // The nth (1-based) call to the function; throws when there is none.
    const Call& call(const std::string& function, unsigned nth = 1) const;
    // Position in the whole record of the nth call of a function, or -1.
    long indexOf(const std::string& function, unsigned nth = 1) const;
    // True when each listed function was called and their first calls come
    // in the listed order.
    bool calledInOrder(std::initializer_list<std::string> functions) const;

    // Joint id the library gave the most recent joint created with the name
    // (from the record), or SKL_NO_JOINT.
    SKL_JOINT_ID createdJoint(const std::string& name) const;

    // --- used by the C functions ----------------------------------------
    struct FileJoint {
        std::string name;
        SKL_JOINT_ID parent = SKL_NO_JOINT;
    };

    // Index of the new record: hooks may add records before the result is known.
    std::size_t record(const char* name, std::vector<Value> args);
    void setResult(std::size_t call, Value result);
    bool failsNow(const std::string& function);  // counts the call
    const void* newHandle();
    SKL_JOINT_ID nextJointId(const void* skeleton);

    int16_t mDocumentKind = DC_KIND_MOVANTIS_ANIMATION;
    float mFrameRate = 30.0f;
    int32_t mFrameCount = 0;
    int32_t mFigureCount = 1;
    std::vector<FileJoint> mFileJoints;
    std::map<std::pair<int32_t, int32_t>, float> mRootKeys;
    std::map<std::pair<int32_t, SKL_JOINT_ID>, quaternion> mOrientationKeys;

private:
    std::vector<Call> mCalls;
    std::map<std::string, unsigned> mCallCounts;
    std::map<std::string, std::set<unsigned>> mFailOn;
    std::set<std::string> mFailAlways;
    std::map<std::string, std::function<void()>> mHooks;
    std::map<const void*, SKL_JOINT_ID> mJointCounts;
    uintptr_t mNextHandle = 0x1000;
};

}  // namespace kellrec

// The one recording instance the C functions write to.
kellrec::RecordingKell& recordingKell();

bool operator==(const coord3& a, const coord3& b);
bool operator==(const quaternion& a, const quaternion& b);
std::ostream& operator<<(std::ostream& out, const coord3& v);
std::ostream& operator<<(std::ostream& out, const quaternion& q);

#endif
