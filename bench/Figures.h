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
inline constexpr const char* StationRatio8 = "StationRatio8";
inline constexpr const char* StationRatio32 = "StationRatio32";
inline constexpr const char* StationRatio64 = "StationRatio64";
// Figure 1 for a session on a thread of its own (the command line, the station).
inline constexpr const char* BlockCostSession = "BlockCostSession";

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
// The station's figures, for each unit count (results.json adds "_8" etc.).
// CPU figures are fractions of one core over the station's wall time.
inline constexpr const char* StationRatio = "station_ratio";
inline constexpr const char* StationOwnCpu = "station_own_cpu";  // the utility's threads, models apart
inline constexpr const char* StationCpuFraction = "station_cpu_fraction";  // the whole process
inline constexpr const char* StationModelCpu = "station_model_cpu";
inline constexpr const char* StationMainCpu = "station_main_cpu";
inline constexpr const char* StationSessionsCpu = "station_sessions_cpu";
inline constexpr const char* StationReadersCpu = "station_readers_cpu";
inline constexpr const char* StationOtherCpu = "station_other_cpu";
inline constexpr const char* StationThreads = "station_threads";
inline constexpr const char* StationSwitchesPerBlock = "station_switches_per_block";
inline constexpr const char* StationOwnCpuUsPerBlock = "station_own_cpu_us_per_block";
inline constexpr const char* StationOneSeconds = "station_one_s";
inline constexpr const char* StationManySeconds = "station_many_s";
inline constexpr const char* StationResidentMb = "station_resident_mb";
inline constexpr const char* StationUnitKb = "station_unit_kb";

// Figure 1 on a session's own thread: the same figures as BlockCost, and
// the processor time without the emulator's, by thread.
inline constexpr const char* OwnCpuUsPerBlock = "own_cpu_us_per_block";
inline constexpr const char* SessionCpuUsPerBlock = "session_cpu_us_per_block";
inline constexpr const char* ReaderCpuUsPerBlock = "reader_cpu_us_per_block";
inline constexpr const char* ModelCpuUsPerBlock = "model_cpu_us_per_block";

}  // namespace kvm::bench::fig
