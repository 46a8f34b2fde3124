// Shared set-up for the translator's unit tests: a fresh host scene, a fresh
// recording library, captured perror lines, and small scene builders.
#ifndef QMF_TESTS_TRANSLATORFIXTURE_H
#define QMF_TESTS_TRANSLATORFIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <maya/MFileObject.h>
#include <maya/MFnDagNode.h>
#include <maya/MFnIkJoint.h>
#include <maya/MObject.h>
#include <maya/MQuaternion.h>
#include <maya/MVector.h>
#include <qmfhost/Faults.h>
#include <qmfhost/PerrorCapture.h>
#include <qmfhost/Scene.h>

#include <string>
#include <utility>
#include <vector>

#include "RecordingKell.h"
#include "plugin/AnimFileTranslator.h"

class TranslatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qmfhost::resetScene();
        qmfhost::clearFaults();
        kell().reset();
    }
    void TearDown() override
    {
        qmfhost::clearFaults();
        kell().reset();
    }

    static kellrec::RecordingKell& kell() { return recordingKell(); }

    // A joint made through the host's API, under parent (null: the world).
    static MObject joint(const std::string& name, const MObject& parent = MObject::kNullObj,
                         const MVector& translation = MVector(), MStatus* status = nullptr)
    {
        MFnDagNode dag;
        MObject node = dag.create("joint", name.c_str(), parent, status);
        MFnIkJoint fn(node);
        fn.setTranslation(translation, MSpace::kTransform);
        return node;
    }

    static MObject group(const std::string& name, const MObject& parent = MObject::kNullObj,
                         const MVector& translation = MVector())
    {
        MFnDagNode dag;
        MObject node = dag.create("transform", name.c_str(), parent);
        MFnTransform fn(node);
        fn.setTranslation(translation, MSpace::kTransform);
        return node;
    }

    // A joint with exactly this name, duplicates kept (the API would rename).
    static MObject sameNameJoint(const std::string& name, const MObject& parent,
                                 const MVector& translation = MVector())
    {
        MObject node = qmfhost::createNode("joint", name, parent);
        MFnIkJoint fn(node);
        fn.setTranslation(translation, MSpace::kTransform);
        return node;
    }

    static MStatus exportTo(const std::string& path, const std::string& options = std::string(),
                            MPxFileTranslator::FileAccessMode mode =
                                MPxFileTranslator::kExportAccessMode)
    {
        AnimFileTranslator translator;
        MFileObject file;
        file.setRawFullName(MString(path.c_str()));
        return translator.writer(file, MString(options.c_str()), mode);
    }

    // The texts printed, each with the code of the status it was printed on.
    static std::vector<std::pair<std::string, MStatus::MStatusCode>>
    printed(const qmfhost::PerrorCapture& capture)
    {
        std::vector<std::pair<std::string, MStatus::MStatusCode>> result;
        for (const qmfhost::PerrorLine& line : capture.lines())
            result.emplace_back(line.text, line.code);
        return result;
    }

    // Library calls made for one scene joint: from its joint creation to the
    // next joint creation or the end of the walk.
    struct JointCalls {
        std::string name;
        std::vector<kellrec::Call> calls;
        std::vector<std::string> names() const
        {
            std::vector<std::string> result;
            for (const auto& c : calls)
                result.push_back(c.name);
            return result;
        }
        std::vector<kellrec::Call> to(const std::string& function) const
        {
            std::vector<kellrec::Call> result;
            for (const auto& c : calls)
                if (c.name == function)
                    result.push_back(c);
            return result;
        }
    };

    static std::vector<JointCalls> perJoint()
    {
        std::vector<JointCalls> joints;
        bool inWalk = false;
        for (const kellrec::Call& c : kell().calls()) {
            if (c.name == "skl_skeleton_joint_create_f") {
                joints.push_back(JointCalls{c.text(1), {c}});
                inWalk = true;
            } else if (c.name == "skl_skeleton_skel_completed_f" ||
                       c.name == "anm_animation_figure_add_f" ||
                       c.name == "anm_animation_dispose") {
                inWalk = false;
            } else if (inWalk) {
                joints.back().calls.push_back(c);
            }
        }
        return joints;
    }

    static JointCalls callsFor(const std::string& name, unsigned nth = 1)
    {
        unsigned seen = 0;
        for (const JointCalls& j : perJoint())
            if (j.name == name && ++seen == nth)
                return j;
        ADD_FAILURE() << "no joint " << name << " #" << nth << " was created";
        return JointCalls{};
    }
};

#endif
