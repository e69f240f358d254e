// Per-domain plot set-up and per-time append on small generated models: the variables each
// domain registers, files present, missing and present again over the output times, mesh
// truncation, common-node domains taking porous-medium values, and both writer back ends.
#include "tests/driver/plotsetup_fixture.hpp"

namespace kelpra {
namespace {

// ---------------------------------------------------------------------------------------
// Porous medium

TEST_P(PlotSetupBackEnds, PmBricksRegisterMeshAndHeadVariables) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 2; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(2));

  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  expectregistered(f, kPmVariables);
  EXPECT_EQ(f.title, "Plot set-up model");
  ASSERT_EQ(f.zones.size(), 2u);
  const TecplotZone& z1 = f.zones[0];
  EXPECT_EQ(z1.title, "pm");
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_EQ(z1.nodes, 18);
  EXPECT_EQ(z1.cells, 4);
  EXPECT_DOUBLE_EQ(z1.solutiontime, 1.5);
  EXPECT_EQ(z1.values[0], mesh.x);
  EXPECT_EQ(z1.values[2], mesh.z);
  EXPECT_EQ(z1.values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z1.values[4], (Values{1, 1, 2, 2}));
  EXPECT_EQ(z1.values[5], (Values{1, 2, 1, 2}));
  EXPECT_EQ(z1.values[6], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z1.values[7], headsat(mesh.z, 1));
  EXPECT_EQ(z1.values[8], minus(headsat(mesh.z, 1), mesh.z));
  EXPECT_EQ(firstelement(z1, 8), (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9}));

  // Later zones share every time-invariant variable and the node lists.
  const TecplotZone& z2 = f.zones[1];
  EXPECT_DOUBLE_EQ(z2.solutiontime, 2.5);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(z2.connsharezone, 0);
  EXPECT_EQ(z2.cellcentred, z1.cellcentred);
  EXPECT_EQ(z2.values[7], headsat(mesh.z, 2));
  EXPECT_EQ(z2.values[8], minus(headsat(mesh.z, 2), mesh.z));
}

TEST_F(PlotSetup, PmEchoesEveryRegistrationAndItsBanner) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  const std::string expected = " \n" + std::string(48, '-') + "\npm data to tecplot\nCreating tecplot file " +
                               plot_data.prefix + "o.pm\n" +
                               "   1     X\n   2     Y\n   3     Z\n   4     Zone\n   5     Layer Number\n"
                               "   6     Column Number\n   7     Thickness\n   8     Head\n   9     Pressure Head\n"
                               "  10     Depth2GWT\n  11     Depth2GWT2D\n";
  EXPECT_NE(out.find(expected), std::string::npos) << out;
  EXPECT_NE(out.find("Medium: pm\nFull mesh (no truncation)\nNodes:    18\nElements: 4\n"), std::string::npos) << out;
}

TEST_F(PlotSetup, PmAsciiFileHoldsUnitsLabelsAndZoneLines) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 2; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(2));
  const std::string text = testkit::readfile(plotfile("pm"));
  EXPECT_NE(text.find("VARIABLES = \"X\",\"Y\",\"Z\",\"Zone\",\"Layer Number\",\"Column Number\",\"Thickness\","
                      "\"Head\",\"Pressure Head\",\"Depth2GWT\",\"Depth2GWT2D\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("# X units: (m)\n# Y units: (m)\n# Z units: (m)\n# Head units: (m)\n"
                      "# Pressure Head units: (m)\n# Depth2GWT units: (m)\n# Depth2GWT2D units: (m)\n"),
            std::string::npos);
  EXPECT_NE(text.find("ZONE T=\"pm\", SOLUTIONTIME=1.5, DATAPACKING=BLOCK, NODES=18, ELEMENTS=4, ZONETYPE=FEBRICK, "
                      "VARLOCATION=([4,5,6,7]=CELLCENTERED)\nDT=(DOUBLE,DOUBLE,DOUBLE,LONGINT,LONGINT,LONGINT,DOUBLE,"
                      "DOUBLE,DOUBLE,DOUBLE,DOUBLE)\n# x\n"),
            std::string::npos);
  EXPECT_NE(text.find("ZONE T=\"pm\", SOLUTIONTIME=2.5, DATAPACKING=BLOCK, NODES=18, ELEMENTS=4, ZONETYPE=FEBRICK, "
                      "VARLOCATION=([4,5,6,7]=CELLCENTERED), VARSHARELIST=([1,2,3,4,5,6,7]=1), "
                      "CONNECTIVITYSHAREZONE=1\n"),
            std::string::npos);
  const AsciiFile f = readascii("pm");
  ASSERT_EQ(f.labels.size(), 2u);
  EXPECT_EQ(f.labels[0], (std::vector<std::string>{"x", "y", "z", "zone (cell centred)", "Layer #", "Column #",
                                                   "Thickness", "head", "pressure head", "depth to groundwater 3d",
                                                   "depth to groundwater 2d"}));
  EXPECT_EQ(f.labels[1], (std::vector<std::string>{"head", "pressure head", "depth to groundwater 3d",
                                                   "depth to groundwater 2d"}));
  // Node lists of the first zone only, eight a line for bricks.
  EXPECT_NE(text.find("# element node lists\n         1          2          5          4          7          8"
                      "         11         10 \n"),
            std::string::npos);
  EXPECT_EQ(text.find("# element node lists"), text.rfind("# element node lists"));
}

TEST_P(PlotSetupBackEnds, PmPrismsWriteBricksWithRepeatedCorners) {
  const LayeredMesh mesh = model_.pm(2, 1, 3, ElementKind::prisms);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  ASSERT_NO_THROW(run(1));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  expectregistered(f, kPmVariables);
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.zonetype, 5);
  EXPECT_EQ(z.cells, 8);
  EXPECT_EQ(z.values[4], (Values{1, 1, 1, 1, 2, 2, 2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2, 3, 4, 1, 2, 3, 4}));
  // Bottom triangle 1, 2, 4 and top triangle 7, 8, 10, each with its third corner twice.
  EXPECT_EQ(firstelement(z, 8), (std::vector<std::int32_t>{0, 1, 3, 3, 6, 7, 9, 9}));
}

TEST_P(PlotSetupBackEnds, HeadMissingAtOneIndexIsSharedThenReadAgain) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  create();
  ASSERT_NO_THROW(run(4));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  ASSERT_EQ(f.zones.size(), 4u);
  // The depths to the water table follow the heads.
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(f.zones[2].values[7], headsat(mesh.z, 1));
  EXPECT_EQ(f.zones[2].values[8], minus(headsat(mesh.z, 1), mesh.z));
  EXPECT_EQ(sharedvars(f.zones[3]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(f.zones[3].values[7], headsat(mesh.z, 4));
  EXPECT_EQ(f.zones[3].values[8], minus(headsat(mesh.z, 4), mesh.z));
}

TEST_P(PlotSetupBackEnds, HeadMissingAtFirstIndexIsAbsentForTheRun) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (const int n : {2, 3}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  ASSERT_NO_THROW(run(3));
  EXPECT_FALSE(r.pm.headavail);
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  EXPECT_EQ(f.variables,
            (std::vector<std::string>{"X", "Y", "Z", "Zone", "Layer Number", "Column Number", "Thickness"}));
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_P(PlotSetupBackEnds, ZoneFileOnlyAtSecondIndex) {
  model_.pm(2, 1, 3);
  testkit::writeresult_i4(model_.resultpath("tv_zone", "pm", 2), "2.5 zones", {7, 8, 9, 10});
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(f.zones[0].values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(f.zones[1].sharezone[3], -1);
  EXPECT_EQ(f.zones[1].values[3], (Values{7, 8, 9, 10}));
  EXPECT_TRUE(f.zones[1].cellcentred[3]);
  // The third zone has no zone file: it repeats zone 1's mesh zones.
  EXPECT_EQ(f.zones[2].sharezone[3], 0);
  EXPECT_EQ(f.zones[2].values[3], (Values{1, 1, 1, 1}));
  EXPECT_TRUE(f.zones[2].cellcentred[3]);
}

TEST_P(PlotSetupBackEnds, TopographyFilesMovePressureHeads) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = 1; n <= 3; ++n) writeheads("pm", n, headsat(mesh.z, n));
  model_.result_r8("tvtopo", "pm", 1, "1.5", plus(mesh.z, -0.5));
  model_.result_r8("tvtopo", "pm", 2, "2.5", plus(mesh.z, -2.0));
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  std::vector<Registered> expected = kPmVariables;
  expected.push_back({"tvTopoZ", kDouble, "(m)", false});
  expected.push_back({"tvTopoZAbsDiff", kDouble, "(m)", false});
  expectregistered(f, expected);
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(f.zones[0].values[8], minus(headsat(mesh.z, 1), plus(mesh.z, -0.5)));
  EXPECT_EQ(f.zones[0].values[11], plus(mesh.z, -0.5));
  EXPECT_EQ(f.zones[0].values[12], Values(18, 0.5));
  EXPECT_EQ(f.zones[1].values[8], minus(headsat(mesh.z, 2), plus(mesh.z, -2.0)));
  EXPECT_EQ(f.zones[1].values[12], Values(18, 2.0));
  // No topography at the third index: heads measured from the mesh, topography shared.
  EXPECT_EQ(f.zones[2].values[8], minus(headsat(mesh.z, 3), mesh.z));
  EXPECT_EQ(f.zones[2].sharezone[11], 0);
  EXPECT_EQ(f.zones[2].sharezone[12], 0);
}

TEST_P(PlotSetupBackEnds, BoxTruncationPacksValuesAndRenumbersNodes) {
  const LayeredMesh mesh = model_.pm(4, 1, 3);  // 30 nodes, 8 bricks
  writeheads("pm", 1, headsat(mesh.z, 1));
  writeheads("pm", 2, headsat(mesh.z, 2));
  Records& r = create();
  r.pm.truncate = true;
  r.pm.xmax_trunc = 2.0;  // centroids at x 0.5 and 1.5 kept, 2.5 and 3.5 not
  std::string out;
  ASSERT_NO_THROW(out = run(2));
  EXPECT_NE(out.find("Truncated mesh\nNodes:    18/30\nElements: 4/8\n"), std::string::npos) << out;
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 18);
  EXPECT_EQ(z.cells, 4);
  std::vector<int> kept;
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < 2; ++j) {
      for (int i = 0; i <= 2; ++i) kept.push_back(mesh.node(i, j, k));
    }
  }
  EXPECT_EQ(z.values[0], pick(mesh.x, kept));
  EXPECT_EQ(z.values[2], pick(mesh.z, kept));
  EXPECT_EQ(z.values[3], (Values{1, 1, 1, 1}));
  EXPECT_EQ(z.values[4], (Values{1, 1, 2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2, 1, 2}));
  EXPECT_EQ(z.values[7], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(f.zones.at(1).values[8], minus(pick(headsat(mesh.z, 2), kept), pick(mesh.z, kept)));
  // pm nodes 1, 2, 7, 6 (and 11, 12, 17, 16 above) are the written nodes 1, 2, 5, 4, 7, 8, 11, 10.
  EXPECT_EQ(firstelement(z, 8), (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9}));
  for (const std::int32_t n : z.connectivity) EXPECT_LT(n, 18);
}

TEST_P(PlotSetupBackEnds, LayerTruncationKeepsOneElementLayer) {
  const LayeredMesh mesh = model_.pm(2, 1, 4);  // 24 nodes, 6 bricks in 3 layers
  writeheads("pm", 1, headsat(mesh.z, 1));
  Records& r = create();
  r.pm.truncatebylayer = true;
  r.pm.layermin_trunc = 2;
  r.pm.layermax_trunc = 2;
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  EXPECT_NE(out.find("Truncated mesh\nNodes:    12/24\nElements: 2/6\n"), std::string::npos) << out;
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 12);
  EXPECT_EQ(z.cells, 2);
  std::vector<int> kept;
  for (int n = 7; n <= 18; ++n) kept.push_back(n);
  EXPECT_EQ(z.values[2], pick(mesh.z, kept));
  EXPECT_EQ(z.values[4], (Values{2, 2}));
  EXPECT_EQ(z.values[5], (Values{1, 2}));
  EXPECT_EQ(z.values[7], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(z.connectivity, (std::vector<std::int32_t>{0, 1, 4, 3, 6, 7, 10, 9, 1, 2, 5, 4, 7, 8, 11, 10}));
}

// ---------------------------------------------------------------------------------------
// Domains with nodes of their own

TEST_P(PlotSetupBackEnds, MultiNodeOverlandFlowHasDepthsAndPmNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh);
  writeheads("pm", 1, headsat(mesh.z, 1));
  // Top nodes lie at z = 2: heads below, at and above the ground.
  const Values olfhead1 = {1.5, 2.0, 3.0, 12.0, 2.25, 2.0 + 1.0e-9};
  const Values olfhead2 = {4.0, 4.0, 4.0, 4.0, 4.0, 4.0};
  writeheads("olf", 1, olfhead1);
  writeheads("olf", 2, olfhead2);
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Depth", kFloat, "(m)", false},
                       {"LogDepth", kFloat, "(m)", false}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.zonetype, 3);
  EXPECT_EQ(z1.nodes, 6);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.values[2], Values(6, 2.0));
  EXPECT_EQ(z1.values[3], (Values{2, 2}));
  EXPECT_EQ(z1.values[4], (Values{13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(z1.values[5], olfhead1);
  EXPECT_EQ(z1.values[6], asfloat({0.0, 0.0, 1.0, 10.0, 0.25, (2.0 + 1.0e-9) - 2.0}));
  ASSERT_EQ(z1.values[7].size(), 6u);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][0]), -8.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][1]), -8.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][2]), 0.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][3]), 1.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(z1.values[7][5]), -8.0f);
  // Element 1 on pm nodes 13, 14, 17, 16 is the domain's nodes 1, 2, 5, 4.
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  const TecplotZone& z2 = f.zones.at(1);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(z2.values[6], Values(6, 2.0));
  EXPECT_FLOAT_EQ(static_cast<float>(z2.values[7][0]), std::log10(2.0f));
  // No surface heads at the third index: the head and both depths are shared.
  EXPECT_EQ(sharedvars(f.zones.at(2)), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_P(PlotSetupBackEnds, OverlandFlowTopographyMovesDepthsWithoutDifferenceVariable) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.olf(mesh);
  writeheads("olf", 1, Values(6, 3.0));
  writeheads("olf", 2, Values(6, 3.0));
  model_.result_r8("tvtopo", "olf", 1, "1.5", Values(6, 1.0));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Head", "Depth", "LogDepth",
                                                   "tvTopoZ"}));
  EXPECT_EQ(f.zones.at(0).values[6], Values(6, 2.0));
  EXPECT_EQ(f.zones.at(0).values[8], Values(6, 1.0));
  // The second index has no topography file: depths from the mesh, topography shared.
  EXPECT_EQ(f.zones.at(1).values[6], Values(6, 1.0));
  EXPECT_EQ(f.zones.at(1).sharezone[8], 0);
}

TEST_P(PlotSetupBackEnds, OverlandFlowWallsLeaveOutNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions walls;
  walls.walls = true;
  model_.olf(mesh, walls);
  writeheads("olf", 1, Values(6, 3.0));
  writeheads("olf", 2, Values(6, 3.5));
  create();
  ASSERT_NO_THROW(run(2));
  ASSERT_TRUE(plot_data.olf_wall);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "Head", "Depth", "LogDepth"}));
  EXPECT_EQ(f.zones.at(0).nodes, 6);
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(f.zones.at(1).values[5], asfloat(Values(6, 1.5)));
}

TEST_P(PlotSetupBackEnds, TopographyZonesBelongToPmOnly) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.dual(mesh, {1, 1, 1, 1});
  for (const char* name : {"pm", "dual"}) {
    testkit::writeresult_i4(model_.resultpath("tvtopo_zone", name, 1), "1.5", {3, 3, 4, 4});
    testkit::writeresult_i4(model_.resultpath("tvtopo_zone", name, 3), "3.5", {5, 6, 5, 6});
  }
  create();
  ASSERT_NO_THROW(run(3));
  const TecplotFile pm = readback("pm");
  expectcomplete(pm, "pm");
  const int v = varindex(pm, "tvTopoZone");
  ASSERT_EQ(v, 7);
  const auto i = static_cast<std::size_t>(v);
  EXPECT_EQ(pm.zones.at(0).datatypes[i], kInt);
  EXPECT_TRUE(pm.zones.at(0).cellcentred[i]);
  EXPECT_EQ(pm.zones.at(0).values[i], (Values{3, 3, 4, 4}));
  EXPECT_EQ(pm.zones.at(1).sharezone[i], 0);
  EXPECT_TRUE(pm.zones.at(1).cellcentred[i]);
  EXPECT_EQ(pm.zones.at(2).values[i], (Values{5, 6, 5, 6}));
  const TecplotFile dual = readback("dual");
  expectcomplete(dual, "dual");
  EXPECT_EQ(varindex(dual, "tvTopoZone"), -1);
}

TEST_P(PlotSetupBackEnds, CommonNodeOverlandFlowWallsLeaveOutNodeNumbers) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions options;
  options.multinode = false;
  options.walls = true;
  model_.olf(mesh, options);
  writeheads("pm", 1, headsat(mesh.z, 1));
  writeheads("pm", 2, headsat(mesh.z, 2));
  create();
  ASSERT_NO_THROW(run(2));
  ASSERT_TRUE(plot_data.olf_wall);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "Head", "Pressure Head"}));
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(f.zones.at(1).values[4], pick(headsat(mesh.z, 2), {13, 14, 15, 16, 17, 18}));
}

TEST_P(PlotSetupBackEnds, FractureApertureIsStaticAndCellCentred) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh);
  writeheads("pm", 1, headsat(mesh.z, 1));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("frac");
  expectcomplete(f, "frac");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Aperture", kDouble, "(m)", true}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.nodes, 9);
  EXPECT_EQ(z1.cells, 4);
  EXPECT_EQ(z1.values[4], (Values{1, 2, 3, 7, 8, 9, 13, 14, 15}));
  EXPECT_EQ(z1.values[5], (Values{0.001, 0.002, 0.003, 0.004}));
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  const TecplotZone& z2 = f.zones.at(1);
  EXPECT_EQ(sharedvars(z2), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(z2.cellcentred[5]);
  EXPECT_EQ(z2.values[5], (Values{0.001, 0.002, 0.003, 0.004}));
}

TEST_P(PlotSetupBackEnds, DualKeepsZonedElementsOnly) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.dual(mesh, {5, 0, 7, 0});
  const Values dualhead = headsat(mesh.z, 1);
  writeheads("dual", 1, dualhead);
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("dual");
  expectcomplete(f, "dual");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Pressure Head", kDouble, "(m)", false}}));
  const TecplotZone& z1 = f.zones.at(0);
  EXPECT_EQ(z1.zonetype, 5);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.nodes, 12);
  EXPECT_EQ(z1.values[3], (Values{5, 7}));
  const std::vector<int> kept = {1, 2, 4, 5, 7, 8, 10, 11, 13, 14, 16, 17};
  EXPECT_EQ(z1.values[4], Values(kept.begin(), kept.end()));
  EXPECT_EQ(z1.values[5], pick(dualhead, kept));
  EXPECT_EQ(z1.values[6], minus(pick(dualhead, kept), pick(mesh.z, kept)));
  EXPECT_EQ(z1.connectivity, (std::vector<std::int32_t>{0, 1, 3, 2, 4, 5, 7, 6, 4, 5, 7, 6, 8, 9, 11, 10}));
  // No dual head at the second index: shared with zone 1.
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_P(PlotSetupBackEnds, DomainWithoutFileRequestGetsNoDataSet) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh);
  Records& r = create();
  r.frac.writefile = false;
  ASSERT_NO_THROW(run(2));
  EXPECT_FALSE(std::filesystem::exists(plotfile("frac")));
  EXPECT_EQ(r.frac.nvar, 0);
  EXPECT_TRUE(std::filesystem::exists(plotfile("pm")));
}

// ---------------------------------------------------------------------------------------
// Common-node domains

TEST_P(PlotSetupBackEnds, CommonNodeOverlandFlowTakesPmValues) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  create();
  std::string out;
  ASSERT_NO_THROW(out = run(4));
  EXPECT_NE(out.find("olf data to tecplot\nCreating tecplot file " + plot_data.prefix + "o.olf\n"), std::string::npos);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  expectregistered(f, withmesh({{"3DNode#", kInt, "", false},
                       {"Head", kDouble, "(m)", false},
                       {"Pressure Head", kDouble, "(m)", false}}));
  const std::vector<int> top = {13, 14, 15, 16, 17, 18};
  ASSERT_EQ(f.zones.size(), 4u);
  const TecplotZone& z1 = f.zones[0];
  EXPECT_EQ(z1.nodes, 6);
  EXPECT_EQ(z1.cells, 2);
  EXPECT_EQ(z1.values[0], pick(mesh.x, top));
  EXPECT_EQ(z1.values[2], pick(mesh.z, top));
  EXPECT_EQ(z1.values[4], Values(top.begin(), top.end()));
  EXPECT_EQ(z1.values[5], pick(headsat(mesh.z, 1), top));
  EXPECT_EQ(z1.values[6], minus(pick(headsat(mesh.z, 1), top), Values(6, 2.0)));
  EXPECT_EQ(firstelement(z1, 4), (std::vector<std::int32_t>{0, 1, 4, 3}));
  EXPECT_EQ(f.zones[1].values[5], pick(headsat(mesh.z, 2), top));
  // The pm head file of index 3 is missing: this zone shares both heads.
  EXPECT_EQ(sharedvars(f.zones[2]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(sharedvars(f.zones[3]), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(f.zones[3].values[5], pick(headsat(mesh.z, 4), top));
}

TEST_P(PlotSetupBackEnds, CommonNodePressureHeadOnlyWhenPmHoldsIt) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 3}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  r.pm.writepresshead = false;
  ASSERT_TRUE(r.olf.writepresshead);
  ASSERT_NO_THROW(run(3));
  EXPECT_EQ(r.olf.pressheadvar, 0);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Head"}));
  ASSERT_EQ(f.zones.size(), 3u);
  EXPECT_EQ(sharedvars(f.zones[1]), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.zones[2].values[5], pick(headsat(mesh.z, 3), {13, 14, 15, 16, 17, 18}));
}

TEST_P(PlotSetupBackEnds, CommonNodeWithoutPmHeadsHasNoHeads) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  model_.frac(mesh, false);
  writeheads("pm", 2, headsat(mesh.z, 2));
  create();
  ASSERT_NO_THROW(run(2));
  const TecplotFile f = readback("frac");
  expectcomplete(f, "frac");
  EXPECT_EQ(f.variables, (std::vector<std::string>{"X", "Y", "Z", "Zone", "3DNode#", "Aperture"}));
  EXPECT_EQ(f.zones.at(0).values[4], (Values{1, 2, 3, 7, 8, 9, 13, 14, 15}));
  EXPECT_TRUE(f.zones.at(1).cellcentred[5]);
  EXPECT_EQ(sharedvars(f.zones.at(1)), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_P(PlotSetupBackEnds, CommonNodeBoxTruncation) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  writeheads("pm", 1, headsat(mesh.z, 1));
  Records& r = create();
  r.olf.truncate = true;
  r.olf.xmax_trunc = 1.0;  // the first of the two surface elements
  std::string out;
  ASSERT_NO_THROW(out = run(1));
  EXPECT_NE(out.find("Medium: olf\nTruncated mesh\nNodes:    4/6\nElements: 1/2\n"), std::string::npos) << out;
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  const TecplotZone& z = f.zones.at(0);
  EXPECT_EQ(z.nodes, 4);
  EXPECT_EQ(z.cells, 1);
  const std::vector<int> kept = {13, 14, 16, 17};
  EXPECT_EQ(z.values[0], pick(mesh.x, kept));
  EXPECT_EQ(z.values[4], Values(kept.begin(), kept.end()));
  EXPECT_EQ(z.values[5], pick(headsat(mesh.z, 1), kept));
  EXPECT_EQ(z.connectivity, (std::vector<std::int32_t>{0, 1, 3, 2}));
}

TEST_P(PlotSetupBackEnds, ReadOnlyPmFeedsCommonNodeDomainWithoutDataSet) {
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  SurfaceOptions common;
  common.multinode = false;
  model_.olf(mesh, common);
  for (const int n : {1, 2, 4}) writeheads("pm", n, headsat(mesh.z, n));
  Records& r = create();
  r.pm.writefile = false;
  plot_data.pmreadonly = true;
  std::string out;
  ::testing::internal::CaptureStderr();
  ASSERT_NO_THROW(out = run(4));
  // The missing pm heads repeat in the olf zone; "pm" itself writes no zone to warn of.
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("A result file of output time 0003 does not exist:\n  " + plot_data.prefix +
                     "o.head_pm.0003\nIts variables repeat the values of output time 0001 (zone 1) in zone 3 "
                     "of the olf data set.\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("of the pm data set"), std::string::npos) << err;
  EXPECT_NE(out.find(" \n" + std::string(48, '-') + "\npm data read for common node output\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("Creating tecplot file " + plot_data.prefix + "o.pm\n"), std::string::npos);
  EXPECT_NE(out.find("   8     Head\n   9     Pressure Head\n"), std::string::npos);
  for (const char* suffix : {"o.pm.dat", "o.pm.szplt", "o.pm.szplt.szhdr", "o.pm.szplt.szdat"}) {
    EXPECT_FALSE(std::filesystem::exists(plot_data.prefix + suffix)) << suffix;
  }
  EXPECT_EQ(r.pm.zone, 0);
  const TecplotFile f = readback("olf");
  expectcomplete(f, "olf");
  ASSERT_EQ(f.zones.size(), 4u);
  const std::vector<int> top = {13, 14, 15, 16, 17, 18};
  EXPECT_EQ(f.zones[0].values[5], pick(headsat(mesh.z, 1), top));
  EXPECT_EQ(f.zones[1].values[5], pick(headsat(mesh.z, 2), top));
  EXPECT_EQ(f.zones[2].sharezone[5], 0);
  EXPECT_EQ(f.zones[2].sharezone[6], 0);
  EXPECT_EQ(f.zones[3].values[5], pick(headsat(mesh.z, 4), top));
}

INSTANTIATE_TEST_SUITE_P(Writers, PlotSetupBackEnds, ::testing::Bool(), backendname);

// ---------------------------------------------------------------------------------------
// Writer details

TEST_F(PlotSetup, LeftOverTemporaryFileWarnsInAsciiMode) {
  model_.pm(2, 1, 3);
  testkit::writefile(plot_data.prefix + "o.pm.szplt.szhdr", "left over");
  create();
  ::testing::internal::CaptureStderr();
  std::string out;
  EXPECT_NO_THROW(out = run(1));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Tecplot szplt temporary files found (" + plot_data.prefix + "o.pm.szplt.szhdr, etc.)"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("Consider deleting them, otherwise data may be appended."), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::exists(plotfile("pm")));
}

// The saved state of an open binary data set is rewritten only when it is flushed.
class PlotSetupFlush : public PlotSetup, public ::testing::WithParamInterface<std::tuple<int, int, std::vector<int>>> {
 protected:
  void SetUp() override {
    binary_ = true;
    PlotSetup::SetUp();
  }
};

TEST_P(PlotSetupFlush, FlushesAtMultiplesOfTheIntervalFromTheFirstIndex) {
  const int interval = std::get<0>(GetParam());
  const int first = std::get<1>(GetParam());
  const std::vector<int> flushed = std::get<2>(GetParam());
  const LayeredMesh mesh = model_.pm(2, 1, 3);
  for (int n = first; n < first + 6; ++n) writeheads("pm", n, headsat(mesh.z, n));
  create();
  plot_data.tecbinflushint = interval;
  plot_data.nfilestart = first;
  const std::filesystem::path state = plot_data.prefix + "o.pm.szplt.szhdr";
  std::string before;
  std::vector<int> seen;
  ASSERT_NO_THROW(quiet([&] {
    for (int n = first; n < first + 6; ++n) {
      step(n);
      const std::string now = testkit::readfile(state);
      if (n > first && now != before) seen.push_back(n);
      before = now;
    }
    closeall();
  }));
  EXPECT_EQ(seen, flushed);
  EXPECT_FALSE(std::filesystem::exists(state));
  const TecplotFile f = readback("pm");
  expectcomplete(f, "pm");
  EXPECT_EQ(f.zones.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Intervals, PlotSetupFlush,
                         ::testing::Values(std::make_tuple(1, 1, std::vector<int>{2, 3, 4, 5, 6}),
                                           std::make_tuple(2, 1, std::vector<int>{2, 4, 6}),
                                           std::make_tuple(3, 5, std::vector<int>{7, 10})));

TEST_F(PlotSetup, FirstZoneIsFlushedOnlyWithIntervalOne) {
  for (const int interval : {1, 2}) {
    SCOPED_TRACE(interval);
    TempDir dir;
    release();
    reset();
    binary_ = true;
    begin(dir.path());
    ModelWriter model(dir.path());
    model.pm(2, 1, 3);
    create();
    plot_data.tecbinflushint = interval;
    ASSERT_NO_THROW(quiet([&] { step(1); }));
    // The state saved at the opening holds no zone; a flush saves the first one.
    const std::string saved = testkit::readfile(plot_data.prefix + "o.pm.szplt.szhdr");
    ASSERT_NO_THROW(quiet([&] { tecplotfileflush(records_->pm); }));
    const std::string flushed = testkit::readfile(plot_data.prefix + "o.pm.szplt.szhdr");
    EXPECT_EQ(saved == flushed, interval == 1);
    ASSERT_NO_THROW(quiet([&] { closeall(); }));
  }
}

// One model with every kind of domain written by both back ends: the same variables, the
// same sharing and the same values zone by zone.
TEST_F(PlotSetup, BothBackEndsHoldTheSameValues) {
  TempDir other;
  std::map<std::string, TecplotFile> results[2];
  for (const bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "ascii");
    const std::filesystem::path dir = binary ? other.path() : dir_.path();
    release();
    reset();
    binary_ = binary;
    begin(dir);
    ModelWriter model(dir);
    const LayeredMesh mesh = model.pm(2, 1, 3);
    model.dual(mesh, {4, 5, 0, 6});
    SurfaceOptions common;
    common.multinode = false;
    model.olf(mesh, common);
    model.frac(mesh, true, 36);
    for (const int n : {1, 2, 4}) model.result_r8("head", "pm", n, "t", headsat(mesh.z, n));
    for (const int n : {1, 3}) model.result_r8("head", "dual", n, "t", plus(headsat(mesh.z, n), 0.125));
    for (const int n : {1, 4}) model.result_r8("head", "frac", n, "t", Values(9, 1.0 / 3.0 + n));
    model.result_r8("tvtopo", "pm", 1, "t", plus(mesh.z, -0.1));
    model.result_r8("tvtopo", "pm", 3, "t", plus(mesh.z, 0.3));
    testkit::writeresult_i4(model.resultpath("tv_zone", "olf", 2), "t", {9, 8});
    Records& r = create();
    r.pm.truncate = true;
    r.pm.xmax_trunc = 1.0;
    ASSERT_NO_THROW(run(4));
    for (const char* name : {"pm", "dual", "olf", "frac"}) {
      results[binary ? 1 : 0][name] = readback(name);
      expectcomplete(results[binary ? 1 : 0][name], name);
    }
  }
  for (const char* name : {"pm", "dual", "olf", "frac"}) {
    SCOPED_TRACE(name);
    const TecplotFile& a = results[0][name];
    const TecplotFile& b = results[1][name];
    EXPECT_EQ(a.title, b.title);
    ASSERT_EQ(a.variables, b.variables);
    ASSERT_EQ(a.zones.size(), 4u);
    ASSERT_EQ(b.zones.size(), 4u);
    for (std::size_t v = 0; v < a.variables.size(); ++v) {
      EXPECT_EQ(unitsof(a, static_cast<int>(v)), unitsof(b, static_cast<int>(v))) << a.variables[v];
    }
    for (std::size_t zi = 0; zi < 4; ++zi) {
      SCOPED_TRACE("zone " + std::to_string(zi + 1));
      const TecplotZone& za = a.zones[zi];
      const TecplotZone& zb = b.zones[zi];
      EXPECT_EQ(za.title, zb.title);
      EXPECT_DOUBLE_EQ(za.solutiontime, zb.solutiontime);
      EXPECT_EQ(za.zonetype, zb.zonetype);
      EXPECT_EQ(za.nodes, zb.nodes);
      EXPECT_EQ(za.cells, zb.cells);
      EXPECT_EQ(za.datatypes, zb.datatypes);
      EXPECT_EQ(za.cellcentred, zb.cellcentred);
      EXPECT_EQ(za.sharezone, zb.sharezone);
      EXPECT_EQ(za.connsharezone, zb.connsharezone);
      EXPECT_EQ(za.values, zb.values);
      EXPECT_EQ(za.connectivity, zb.connectivity);
    }
  }
  // The pm heads missing at index 3 are shared by pm and by the common-node olf alike.
  const TecplotFile& olf = results[1]["olf"];
  EXPECT_EQ(olf.zones[2].sharezone[static_cast<std::size_t>(varindex(olf, "Head"))], 0);
  EXPECT_EQ(olf.zones[1].sharezone[3], -1);
  EXPECT_EQ(olf.zones[1].values[3], (Values{9, 8}));
}

}  // namespace
}  // namespace kelpra
