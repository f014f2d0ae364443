#pragma once

namespace pelmar {

// The p-quantile of the F distribution with df1 and df2 degrees of freedom,
// for df1 >= 1, df2 >= 2 and 0 <= p <= 0.9999 (the estimations' test
// quantiles). A normal-deviate start value is refined by Newton's method on
// the distribution function, which the incomplete beta function's finite
// series give exactly for integer degrees of freedom.
double FisherQuantile(double p, int df1, int df2);

// The F distribution function P(F <= x) and its density, for the same
// integer degrees of freedom.
double FisherDistribution(double x, int df1, int df2);
double FisherDensity(double x, int df1, int df2);

}  // namespace pelmar
