// Names of the benchmarks and of the figures they report; the table and the
// results file read them back by these names.
#pragma once

namespace kvm::bench::fig {

// Benchmarks.
inline constexpr const char* BlockCost = "BlockCost";
inline constexpr const char* WaitCpu = "WaitCpu";
inline constexpr const char* LinkRatio = "LinkRatio64k";
inline constexpr const char* RescanSim = "RescanSim64";
inline constexpr const char* RescanUmockdev = "RescanUmockdev16";
inline constexpr const char* Firmware = "FirmwareFiles";
inline constexpr const char* BlockCostRecorded = "BlockCostRecorded";
inline constexpr const char* StationRatio = "StationRatio8";

// Figures (also the keys of results.json where the names match).
// The headline: wall time from the first to the last confirmed block over
// the blocks between, what a job takes per block.
inline constexpr const char* MeanUsPerBlock = "mean_us_per_block";
inline constexpr const char* P50UsPerBlock = "p50_us_per_block";
inline constexpr const char* P99UsPerBlock = "p99_us_per_block";
inline constexpr const char* MaxUsPerBlock = "max_us_per_block";
inline constexpr const char* BlocksPerSecond = "blocks_per_s";
inline constexpr const char* CpuUsPerBlock = "cpu_us_per_block";
inline constexpr const char* SwitchesPerBlock = "switches_per_block";
inline constexpr const char* HandOverUs = "handover_us";
// Older readers of results.json know the block figure by this name.
inline constexpr const char* UsPerBlock = "us_per_block";

inline constexpr const char* WaitCpuFraction = "wait_cpu_fraction";
inline constexpr const char* PollingCpuFraction = "polling_cpu_fraction";
inline constexpr const char* WaitMs = "wait_ms";

inline constexpr const char* LinkRatio64k = "link_ratio_64k";
inline constexpr const char* LinkBlocks = "link_blocks";
inline constexpr const char* JobSeconds = "job_s";
inline constexpr const char* LinkSeconds = "link_s";
inline constexpr const char* TurnaroundUs = "turnaround_us";
inline constexpr const char* MissedFrameShare = "missed_frame_share";
inline constexpr const char* LostFrameMs = "lost_frame_ms";
inline constexpr const char* PerEventRatio = "per_event_ratio";
inline constexpr const char* ModelRatio = "model_ratio";

inline constexpr const char* RescanMsSim64 = "rescan_ms_sim64";
inline constexpr const char* RescanUnchangedMsSim64 = "rescan_unchanged_ms_sim64";
inline constexpr const char* RescanMsUmockdev16 = "rescan_ms_umockdev16";
inline constexpr const char* RescanUnchangedMsUmockdev16 = "rescan_unchanged_ms_umockdev16";

inline constexpr const char* FirmwareMbPerS = "firmware_mb_per_s";
inline constexpr const char* UnscrambleMbPerS = "unscramble_mb_per_s";
inline constexpr const char* CheckSumMbPerS = "checksum_mb_per_s";
inline constexpr const char* BlocksMbPerS = "blocks_mb_per_s";
inline constexpr const char* CheckSum4MiBMbPerS = "checksum_4mib_mb_per_s";

// Block cost with the session recorded, against the same without, in turns.
inline constexpr const char* RecordedUsPerBlock = "recorded_us_per_block";
inline constexpr const char* PlainUsPerBlock = "plain_us_per_block";
inline constexpr const char* RecordingRatio = "recording_ratio";
inline constexpr const char* StationRatio8 = "station_ratio_8";
inline constexpr const char* StationCpuFraction = "station_cpu_fraction";
inline constexpr const char* StationOneSeconds = "station_one_s";
inline constexpr const char* StationEightSeconds = "station_eight_s";

}  // namespace kvm::bench::fig
