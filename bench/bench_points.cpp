#include <benchmark/benchmark.h>
int main() {}
