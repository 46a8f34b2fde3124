// Shared set-up of the import tests: a fresh scene, a fresh recording
// library, no armed faults and every perror line captured.
#ifndef QMF_TESTS_IMPORT_IMPORTFIXTURE_H
#define QMF_TESTS_IMPORT_IMPORTFIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <RecordingKell.h>
#include <qmfhost/Faults.h>
#include <qmfhost/PerrorCapture.h>
#include <qmfhost/Scene.h>

#include "import/AnimImporter.h"
#include "interfaces/HostApi.h"

namespace importtest {

constexpr double kPi = 3.14159265358979323846;

inline double radians(double degrees)
{
    return degrees * kPi / 180.0;
}

// One printed message and the status it was printed on.
using Printed = std::pair<std::string, MStatus::MStatusCode>;

// The file quaternion of a scene rotation q (x, y, z, w) on a joint with
// identity orientation: f0 = -w, f1 = x, f2 = y, f3 = -z.
inline quaternion fileQuaternion(double x, double y, double z, double w)
{
    return quaternion{static_cast<float>(-w), static_cast<float>(x), static_cast<float>(y),
                      static_cast<float>(-z)};
}

// A rotation of `degrees` about the X axis, as the file stores it.
inline quaternion fileRotationAboutX(double degrees)
{
    const double half = radians(degrees) / 2.0;
    return fileQuaternion(std::sin(half), 0.0, 0.0, std::cos(half));
}

inline std::vector<double> values(const std::vector<qmfhost::CurveKey>& keys)
{
    std::vector<double> out;
    for (const auto& key : keys)
        out.push_back(key.value);
    return out;
}

inline std::vector<double> times(const std::vector<qmfhost::CurveKey>& keys)
{
    std::vector<double> out;
    for (const auto& key : keys)
        out.push_back(key.time);
    return out;
}

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qmfhost::resetScene();
        kell().reset();
    }
    void TearDown() override { kell().reset(); }

    static kellrec::RecordingKell& kell() { return recordingKell(); }

    static MObject joint(const std::string& name, const MObject& parent = MObject::kNullObj)
    {
        MStatus status;
        MObject node = qmfhost::createNode("joint", name, parent, qmfhost::NodeClass::Auto, &status);
        EXPECT_TRUE(status) << "could not create joint " << name;
        return node;
    }

    static MObject transform(const std::string& name, const MObject& parent = MObject::kNullObj)
    {
        return qmfhost::createNode("transform", name, parent);
    }

    // An importer whose readFile has succeeded on the recording library.
    static std::unique_ptr<AnimImporter> openedImporter()
    {
        auto importer = std::make_unique<AnimImporter>(MString("/anim/walk.qmf"));
        EXPECT_EQ(importer->readFile().statusCode(), MStatus::kSuccess);
        return importer;
    }

    // The curve driving node.attribute, if any.
    static bool curveOn(const MObject& node, const std::string& attribute,
                        qmfhost::CurveData* data = nullptr)
    {
        qmfhost::Connection connection;
        if (!qmfhost::sourceOf(node, attribute, connection))
            return false;
        if (!qmfhost::isAnimCurve(connection.sourceNode))
            return false;
        if (data) {
            EXPECT_TRUE(qmfhost::getCurve(connection.sourceNode, *data));
        }
        return true;
    }

    static std::vector<qmfhost::CurveKey> keysOn(const MObject& node, const std::string& attribute)
    {
        qmfhost::CurveData data;
        EXPECT_TRUE(curveOn(node, attribute, &data)) << "no curve on " << attribute;
        return data.keys;
    }

    static std::size_t animCurveCount()
    {
        std::size_t curves = 0;
        for (const MObject& node : qmfhost::allNodes())
            curves += qmfhost::isAnimCurve(node) ? 1 : 0;
        return curves;
    }

    std::vector<Printed> printed() const
    {
        std::vector<Printed> lines;
        for (const auto& line : capture.lines())
            lines.emplace_back(line.text, line.code);
        return lines;
    }

    qmfhost::FaultScope faults;
    qmfhost::PerrorCapture capture;
};

}  // namespace importtest

#endif
