// The residual distribution of large networks goes through a tree that
// approximates the far stations; these tests hold it to its tolerance
// against the exact sums, which is the distribution's definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "estimation/EllipsoidalModel.h"
#include "estimation/ResidualDistribution.h"
#include "estimation/WeightedMeanTree.h"

namespace pelmar {
namespace {

struct Network {
  std::vector<ResidualDistribution::Station> stations;
  std::vector<std::array<double, 3>> queries;
};

// Stations over 20 km × 20 km (and 200 m of height), residuals of 10 mm
// with one in a hundred a 0.3 m blunder, two without a finite place;
// queries on stations, beside them, between them and outside the network.
Network MakeNetwork(std::size_t count, bool spatial) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> across(0.0, 20000.0), up(0.0, 200.0);
  std::normal_distribution<double> noise(0.0, 0.01);
  Network net;
  for (std::size_t i = 0; i < count; ++i) {
    const double blunder = i % 100 == 7 ? 0.3 : 0.0;
    net.stations.push_back({across(random), across(random), spatial ? up(random) : 0.0, noise(random) + blunder,
                            noise(random), spatial ? noise(random) - blunder : 0.0});
  }
  // Stations without a place weigh nothing.
  net.stations.push_back({NAN, 5000.0, 0.0, 0.01, 0.01, 0.01});
  net.stations.push_back({INFINITY, 5000.0, 0.0, 0.01, 0.01, 0.01});
  for (std::size_t i = 0; i < 60; ++i) {
    const auto& s = net.stations[i * 13];
    net.queries.push_back({s.y, s.x, s.z});
    net.queries.push_back({s.y + 0.004, s.x - 0.002, s.z});
  }
  for (int i = 0; i < 200; ++i) net.queries.push_back({across(random), across(random), up(random)});
  net.queries.push_back({-15000.0, 9000.0, 0.0});
  net.queries.push_back({1e6, 1e6, 0.0});
  return net;
}

// metres, the distribution's promise with room for rounding
constexpr double kAllowed = 1e-5;

TEST(ResidualDistributionTest, large_networks_stay_within_the_tolerance_of_the_exact_sum) {
  for (const bool spatial : {false, true}) {
    const Network net = MakeNetwork(6000, spatial);
    // A point beyond 1e12 m sends the batch's exact sums the slow way.
    for (const int weighting : {0, 1, 2, -1}) {
      ResidualDistribution distribution(std::max(weighting, 0), 5.0, spatial);
      for (const auto& s : net.stations) distribution.add(s);
      std::vector<std::array<double, 3>> queries = net.queries;
      if (weighting < 0) queries.push_back({3e12, 1e6, 0.0});
      // All at once (as a run does), and one by one.
      std::vector<std::array<double, 3>> all = queries;
      ASSERT_TRUE(distribution.applyAll(all, std::vector<char>(all.size(), 1), {}));
      double worst = 0.0;
      for (std::size_t i = 0; i < all.size(); ++i) {
        std::array<double, 3> one = queries[i], exact = queries[i];
        distribution.apply(one[0], one[1], one[2]);
        distribution.applyExactly(exact[0], exact[1], exact[2]);
        for (int k = 0; k < 3; ++k) worst = std::max({worst, std::fabs(one[k] - exact[k]), std::fabs(all[i][k] - exact[k])});
      }
      EXPECT_LE(worst, kAllowed) << "spatial " << spatial << ", weighting " << weighting;
    }
  }
}

TEST(ResidualDistributionTest, large_ellipsoidal_networks_stay_within_the_tolerance_of_the_exact_sum) {
  const EllipsoidRecord grs80{"GRS80", 6378137.0, 6356752.314140356};
  struct Case {
    double latitude, longitude, span;  // degrees: the network's south-west corner and its size
  } cases[] = {{47.0, 6.0, 2.0}, {-40.0, 179.0, 2.0}, {70.0, -10.0, 30.0}};
  for (const Case& c : cases) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> across(0.0, c.span);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (const int weighting : {0, 1, 2}) {
      EllipsoidalResidualDistribution distribution(grs80, weighting, 5.0);
      std::vector<std::array<double, 3>> queries;
      for (int i = 0; i < 3000; ++i) {
        const double B = c.latitude + across(random), L = c.longitude + across(random);
        const bool height = i % 5 != 0, plan = i % 7 != 0;
        distribution.add({B, L, plan ? noise(random) : NAN, plan ? noise(random) : NAN, height ? noise(random) : NAN});
        if (i % 20 == 0) queries.push_back({B, L, 100.0});
        if (i % 20 == 1) queries.push_back({c.latitude + across(random), c.longitude + across(random), 100.0});
      }
      queries.push_back({c.latitude - 1.0, c.longitude + 170.0, 0.0});  // more than 180° from some stations
      std::vector<std::array<double, 3>> all = queries;
      ASSERT_TRUE(distribution.applyAll(all, std::vector<char>(all.size(), 1), {}));
      double worst = 0.0;
      for (std::size_t i = 0; i < all.size(); ++i) {
        std::array<double, 3> one = queries[i], exact = queries[i];
        distribution.apply(one);
        distribution.applyExactly(exact);
        const EllipsoidRadii r = RadiiAt(grs80.a, grs80.b, exact[0] / kRhoDegrees);
        for (const auto& fast : {one, all[i]}) {
          worst = std::max({worst, std::fabs(fast[0] - exact[0]) / kRhoDegrees * r.M,
                            std::fabs(fast[1] - exact[1]) / kRhoDegrees * r.N * std::cos(exact[0] / kRhoDegrees),
                            std::fabs(fast[2] - exact[2])});
        }
      }
      EXPECT_LE(worst, kAllowed) << "network at " << c.latitude << ", " << c.longitude << ", weighting " << weighting;
    }
  }
}

// Near blunders the mean is many times the typical residual, and the final
// check, which weighs the weight sum's error by it, sent most points to the
// exact sum (a network's distribution O(n²)): when a far pair's error bound
// took the whole tolerance (2 % blunders of 10 m among 10 mm), and, pairs
// chosen by the typical residual alone, with 1 % of 100 m.
TEST(ResidualDistributionTest, blunders_leave_the_points_to_the_tree) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> across(0.0, 20000.0), up(0.0, 200.0), share(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.01);
  struct Case {
    int dims;
    double share, size;
  };
  for (const Case c : {Case{2, 0.02, 10.0}, Case{3, 0.02, 10.0}, Case{2, 0.01, 100.0}, Case{3, 0.01, 100.0}}) {
    const int dims = c.dims;
    std::vector<double> positions, values, queries;
    for (int i = 0; i < 10000; ++i) {
      const double blunder = share(random) < c.share ? c.size : 0.0;
      positions.insert(positions.end(), {across(random), across(random)});
      if (dims == 3) positions.push_back(up(random));
      values.insert(values.end(), {1.0, noise(random) + blunder, noise(random), noise(random) - blunder});
    }
    for (int i = 0; i < 2000; ++i) {
      queries.insert(queries.end(), {across(random), across(random)});
      if (dims == 3) queries.push_back(up(random));
    }
    const WeightedMeanTree tree(dims, 0, 5.0, {{0, {1, 2, 3}}}, 4, positions, values);
    const std::size_t count = queries.size() / static_cast<std::size_t>(dims);
    std::vector<double> means(count * 4), scales(count, 1.0);
    std::vector<char> failed(count);
    ASSERT_TRUE(tree.Means(count, queries.data(), scales.data(), means.data(), failed.data(), {}));
    EXPECT_LE(std::count(failed.begin(), failed.end(), 1), 50) << dims << "-D, " << c.size << " m";
  }
}

// The exact sums floor a distance whose scaled root is below 1e-4 m; a
// station whose scaled distance rounds to 1e-4 exactly is not floored,
// though its squared distance lies below (1e-4/scale)². Floored, it
// weighed as much as the station the query stands on (1e20 at 1/s²) and
// the mean was half its residual.
TEST(ResidualDistributionTest, a_station_on_the_floor_weighs_as_the_exact_sum_says) {
  const double scale = 0.99925965124071225;
  std::vector<double> positions{0.0, 0.0, 5.4565070246592909e-05, 8.388966887469292e-05};
  std::vector<double> values{1.0, 0.0, 1.0, 1.0};
  for (int i = 0; i < 2000; ++i) {
    positions.insert(positions.end(), {1000.0 + i, 2000.0 - i});
    values.insert(values.end(), {1.0, 0.0});
  }
  ASSERT_EQ(std::sqrt(positions[2] * positions[2] + positions[3] * positions[3]) * scale, 1e-4);
  const WeightedMeanTree tree(2, 1, 5.0, {{0, {1}}}, 2, positions, values);
  const std::vector<double> query{0.0, 0.0}, scales{scale};
  std::vector<double> means(2);
  std::vector<char> failed(1);
  ASSERT_TRUE(tree.Means(1, query.data(), scales.data(), means.data(), failed.data(), {}));
  ASSERT_EQ(failed[0], 0);
  EXPECT_LT(std::fabs(means[1]), 1e-9);  // 1 m·1e8/1e20 exactly
}

// A far pair's bound must hold where the series' remainder meets it: a
// leaf of stations at the two ends of its radius, in line with the queries
// (one and a pair around each place, so that the query side has a radius
// too), 1 m at the near end and 0 at the far one (equal values would leave
// the mean's error to cancel), amid a background of 0 that takes the
// median and the typical residual to 0. Scanned over the distance, some queries sit just
// inside the acceptance of the expansion, where a bound too small even by
// a few times lets an error of many times the tolerance through.
TEST(ResidualDistributionTest, far_pairs_stay_within_their_bound_in_line_with_a_leaf) {
  for (const int dims : {2, 3}) {
    for (const int weighting : {0, 1}) {
      std::vector<double> positions, values, queries;
      auto place = [&](double along, double across) {
        positions.insert(positions.end(), {across, along});
        if (dims == 3) positions.push_back(0.0);
      };
      for (int i = 0; i < 32; ++i) {  // the first leaf: x below the background's
        place(i % 2 == 0 ? 100.0 : -100.0, -1e-3 * i);
        values.insert(values.end(), {1.0, i % 2 == 0 ? 1.0 : 0.0});
      }
      for (int i = 0; i < 33; ++i) {
        place(1e-3 * i, 1e6 + i);
        values.insert(values.end(), {1.0, 0.0});
      }
      for (double distance = 130.0; distance < 3000.0; distance *= 1.01) {
        for (const double offset : {0.0, -5.0, 5.0}) {
          queries.insert(queries.end(), {0.0, distance + offset});
          if (dims == 3) queries.push_back(0.0);
        }
      }
      const WeightedMeanTree tree(dims, weighting, 5.0, {{0, {1}}}, 2, positions, values);
      const std::size_t count = queries.size() / static_cast<std::size_t>(dims);
      std::vector<double> means(count * 2), scales(count, 1.0);
      std::vector<char> failed(count);
      ASSERT_TRUE(tree.Means(count, queries.data(), scales.data(), means.data(), failed.data(), {}));
      double worst = 0.0;
      for (std::size_t q = 0; q < count; ++q) {
        if (failed[q]) continue;
        double sum = 0.0, weights = 0.0;
        for (std::size_t i = 0; i < values.size() / 2; ++i) {
          double s2 = 0.0;
          for (int k = 0; k < dims; ++k) {
            const double d = queries[q * dims + k] - positions[i * dims + k];
            s2 += d * d;
          }
          const double w = DistributionWeight(weighting, std::sqrt(s2), 5.0);
          sum += w * values[2 * i + 1];
          weights += w;
        }
        worst = std::max(worst, std::fabs(means[2 * q + 1] - sum / weights));
      }
      EXPECT_LE(worst, kAllowed) << dims << "-D, weighting " << weighting;
      EXPECT_LE(std::count(failed.begin(), failed.end(), 1), static_cast<long>(count / 10));
    }
  }
}

}  // namespace
}  // namespace pelmar
