/* Engine controller: a small port-injection ECU firmware image.
 *
 * Calibration data (maps, curves, limits) lives in flash as const data;
 * measurement data (sensor readings, status words, controller states) lives
 * in RAM. The control loop in _start is a sketch: enough to read and write
 * every value so the image is plausible, not a working engine strategy.
 * The target has no FPU and the image links no runtime library, so the
 * code only copies float values; the arithmetic is fixed-point. */
#include <stdbool.h>
#include <stdint.h>

#define RPM_POINTS 8
#define LOAD_POINTS 8
#define TEMP_POINTS 6
#define DTC_SLOTS 4

typedef uint16_t rpm_t;       /* 1 rpm per bit */
typedef int16_t temp_dC_t;    /* 0.1 degC per bit */
typedef uint16_t pulse_us_t;  /* injector pulse width, 1 us per bit */

typedef enum EngineState {
    ENGINE_OFF = 0,
    ENGINE_CRANKING,
    ENGINE_IDLE,
    ENGINE_PART_LOAD,
    ENGINE_FULL_LOAD,
    ENGINE_OVERRUN,
    ENGINE_LIMP_HOME
} EngineState;

typedef enum LambdaMode { LAMBDA_OPEN_LOOP = 0, LAMBDA_CLOSED_LOOP = 1, LAMBDA_FAULT = -1 } LambdaMode;

/* Status bits as the diagnostic tester reads them. */
typedef struct {
    uint32_t engine_running : 1;
    uint32_t fuel_pump_on : 1;
    uint32_t knock_detected : 1;
    uint32_t o2_sensor_ready : 1;
    uint32_t mil_on : 1;
    uint32_t reserved : 3;
    uint32_t restart_count : 8;
    uint32_t error_count : 16;
} StatusWord;

/* Fault flags, readable as one word or bit by bit. */
typedef union {
    uint16_t raw;
    struct {
        uint16_t coolant_sensor : 1;
        uint16_t map_sensor : 1;
        uint16_t throttle_sensor : 1;
        uint16_t crank_sensor : 1;
        uint16_t injector_circuit : 4;
        uint16_t ignition_circuit : 4;
    } bits;
} FaultFlags;

typedef struct {
    uint16_t code;
    uint8_t occurrences;
    bool active;
} DtcEntry;

typedef struct {
    rpm_t engine_speed;
    temp_dC_t coolant_temp;
    temp_dC_t intake_air_temp;
    uint16_t manifold_pressure_kPa;
    uint8_t throttle_position_pct;
    uint16_t lambda_x1000;
    float battery_voltage; /* scaled by the ADC driver */
} SensorInputs;

typedef struct {
    rpm_t idle_target;
    rpm_t rev_limit;
    rpm_t fuel_cut_rpm;
    uint8_t idle_p_gain;
    uint8_t idle_i_gain;
} SpeedLimits;

typedef struct {
    SpeedLimits limits;
    rpm_t rpm_axis[RPM_POINTS];
    uint16_t load_axis_kPa[LOAD_POINTS];
    pulse_us_t base_fuel_map[LOAD_POINTS][RPM_POINTS];
    int8_t ignition_map[LOAD_POINTS][RPM_POINTS]; /* degrees before TDC */
    temp_dC_t warmup_temp_axis[TEMP_POINTS];
    uint8_t warmup_enrichment_pct[TEMP_POINTS];
    uint16_t lambda_target_x1000;
    int16_t lambda_i_gain; /* 1/1024 per bit */
    float fan_on_temp;
    float fan_off_temp;
    bool closed_loop_enabled;
    bool knock_control_enabled;
} Calibration;

const Calibration cal = {
    .limits = {.idle_target = 850, .rev_limit = 6800, .fuel_cut_rpm = 7000, .idle_p_gain = 12, .idle_i_gain = 3},
    .rpm_axis = {800, 1200, 1800, 2500, 3200, 4000, 5200, 6500},
    .load_axis_kPa = {20, 30, 40, 55, 70, 85, 95, 100},
    .base_fuel_map =
        {
            {1450, 1420, 1400, 1390, 1400, 1420, 1460, 1500},
            {1900, 1880, 1850, 1840, 1850, 1880, 1920, 1980},
            {2400, 2380, 2350, 2330, 2350, 2390, 2440, 2500},
            {3100, 3080, 3050, 3030, 3050, 3090, 3150, 3220},
            {3800, 3780, 3750, 3730, 3760, 3800, 3870, 3950},
            {4500, 4480, 4450, 4430, 4460, 4510, 4590, 4680},
            {5000, 4980, 4950, 4930, 4960, 5020, 5110, 5210},
            {5300, 5280, 5250, 5230, 5260, 5320, 5420, 5530},
        },
    .ignition_map =
        {
            {12, 18, 26, 32, 36, 38, 40, 40},
            {11, 17, 25, 31, 35, 37, 39, 39},
            {10, 16, 23, 29, 33, 35, 37, 37},
            {8, 14, 21, 27, 31, 33, 35, 35},
            {6, 12, 19, 24, 28, 30, 32, 33},
            {4, 10, 16, 21, 25, 27, 29, 30},
            {2, 8, 13, 18, 22, 24, 26, 27},
            {0, 6, 11, 16, 20, 22, 24, 25},
        },
    .warmup_temp_axis = {-200, -100, 0, 200, 500, 800},
    .warmup_enrichment_pct = {160, 140, 125, 112, 104, 100},
    .lambda_target_x1000 = 1000,
    .lambda_i_gain = 20,
    .fan_on_temp = 95.0f,
    .fan_off_temp = 91.5f,
    .closed_loop_enabled = true,
    .knock_control_enabled = true,
};

SensorInputs sensors = {0};
EngineState engine_state = ENGINE_OFF;
LambdaMode lambda_mode = LAMBDA_OPEN_LOOP;
volatile StatusWord status = {0};
volatile FaultFlags faults = {0};
DtcEntry dtc_memory[DTC_SLOTS] = {{0}};
pulse_us_t injection_pulse_us = 0;
int8_t spark_advance_deg = 0;
int32_t lambda_integrator = 0;
float fan_threshold = 0.0f;
uint32_t operating_seconds = 0;
bool fan_request = false;

static unsigned axis_index(const uint16_t *axis, unsigned points, uint16_t value) {
    unsigned i = 0;
    while (i + 1 < points && value >= axis[i + 1]) {
        i++;
    }
    return i;
}

static void update_state(void) {
    if (faults.raw != 0) {
        engine_state = ENGINE_LIMP_HOME;
    } else if (sensors.engine_speed == 0) {
        engine_state = ENGINE_OFF;
    } else if (sensors.engine_speed < 400) {
        engine_state = ENGINE_CRANKING;
    } else if (sensors.throttle_position_pct < 2) {
        engine_state = sensors.engine_speed > cal.limits.idle_target + 300 ? ENGINE_OVERRUN : ENGINE_IDLE;
    } else {
        engine_state = sensors.throttle_position_pct > 90 ? ENGINE_FULL_LOAD : ENGINE_PART_LOAD;
    }
    status.engine_running = engine_state != ENGINE_OFF && engine_state != ENGINE_CRANKING;
}

static void update_fuel_and_spark(void) {
    unsigned r = axis_index(cal.rpm_axis, RPM_POINTS, sensors.engine_speed);
    unsigned l = axis_index(cal.load_axis_kPa, LOAD_POINTS, sensors.manifold_pressure_kPa);
    unsigned t = axis_index((const uint16_t *)cal.warmup_temp_axis, TEMP_POINTS, (uint16_t)sensors.coolant_temp);
    uint32_t pulse = cal.base_fuel_map[l][r] * (uint32_t)cal.warmup_enrichment_pct[t] / 100u;

    if (cal.closed_loop_enabled && status.o2_sensor_ready) {
        lambda_mode = LAMBDA_CLOSED_LOOP;
        lambda_integrator += cal.lambda_i_gain * ((int32_t)cal.lambda_target_x1000 - sensors.lambda_x1000);
        pulse += (uint32_t)(((int32_t)pulse * (lambda_integrator / 1024)) / 1000);
    } else {
        lambda_mode = LAMBDA_OPEN_LOOP;
    }
    if (engine_state == ENGINE_OVERRUN || sensors.engine_speed > cal.limits.fuel_cut_rpm) {
        pulse = 0;
    }
    injection_pulse_us = (pulse_us_t)pulse;
    spark_advance_deg = cal.ignition_map[l][r];
    if (cal.knock_control_enabled && status.knock_detected) {
        spark_advance_deg -= 3;
    }
}

void _start(void) {
    for (;;) {
        update_state();
        update_fuel_and_spark();
        fan_threshold = fan_request ? cal.fan_off_temp : cal.fan_on_temp;
        fan_request = sensors.coolant_temp > 950;
        if (faults.raw != 0 && dtc_memory[0].occurrences < 255) {
            dtc_memory[0].code = faults.raw;
            dtc_memory[0].occurrences++;
            dtc_memory[0].active = true;
            status.mil_on = 1;
        }
        operating_seconds++;
    }
}
