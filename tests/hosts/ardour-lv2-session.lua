-- A headless Ardour session around quelmar.lv2, run by ardour7-lua:
--   ardour7-lua -- ardour-lv2-session.lua SESSION_DIR
-- SESSION_DIR must not exist yet. Every figure goes to stdout as one
-- "quelmar: name value" line for the caller to check; a failed step prints
-- "quelmar: error ..." and stops the script.

local dir = arg[1]
local name = "quelmar"
local uri = "https://orvelstamik.com/plugins/quelmar"
local rate = 48000
local seconds = 5
local THRESHOLD, OUTPUT, FADER_LINK, ISP = 0, 1, 2, 3 -- control inputs, counted as Ardour counts them

local function figure(key, value) print(string.format("quelmar: %s %s", key, tostring(value))) end
local function fail(message)
	print("quelmar: error " .. message)
	if Session and not Session:isnil() then close_session() end
	quit()
	error(message)
end

-- The latency only changes once the plug-in has run a cycle with the new
-- setting and Ardour has recomputed its compensation: wait for it, not longer.
local function latency_once(insert, expected)
	local latency = insert:signal_latency()
	for _ = 1, 50 do
		if latency == expected then break end
		sleep(0.1)
		latency = insert:signal_latency()
	end
	return latency
end

local function peak_of(region)
	local readable = region:to_audioregion():to_readable()
	local buffer = ARDOUR.DSP.DspShm(8192)
	local peak = 0
	for c = 0, readable:n_channels() - 1 do
		local pos = 0
		repeat
			local n = readable:read(buffer:to_float(0), pos, 8192, c)
			pos = pos + n
			peak = ARDOUR.DSP.compute_peak(buffer:to_float(0), n, peak)
		until n < 8192
	end
	return peak
end

local function channel_of(region, channel, from, count)
	local buffer = ARDOUR.DSP.DspShm(count)
	region:to_audioregion():to_readable():read(buffer:to_float(0), from, count, channel)
	return buffer:to_float(0):array()
end

-- Ardour compensates the bounce by the latency it was told; if the plug-in's
-- real delay differs, the output is shifted against its input by the difference.
local function best_lag(input, output)
	local from, count, reach = rate, rate / 2, 12
	local x = channel_of(input, 0, from - reach, count + 2 * reach)
	local y = channel_of(output, 0, from, count)
	local best, best_score = nil, -1
	for lag = -reach, reach do
		local score = 0
		for i = 1, count do score = score + y[i] * x[i + reach - lag] end
		score = math.abs(score)
		if score > best_score then best, best_score = lag, score end
	end
	return best
end

if not create_session(dir, name, rate) then fail("create_session " .. dir) end
figure("rate", Session:nominal_sample_rate())

local track = Session:new_audio_track(2, 2, nil, 1, "Noise", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
if track:isnil() then fail("new_audio_track") end

-- The noise is bounced into a region of its own first, so that the plug-in
-- reads it from disk like any recording. Gaussian rather than uniform: with
-- inter-sample detection on, full-scale uniform noise has so many overs
-- between its samples that its sample peaks never come near the ceiling.
local generator = ARDOUR.LuaAPI.new_plugin(Session, "ACE Noise", ARDOUR.PluginType.Lua, "")
if generator:isnil() then fail("ACE Noise not found") end
if track:add_processor_by_index(generator, 0, nil, true) ~= 0 then fail("adding the noise generator") end
ARDOUR.LuaAPI.set_processor_param(generator, 0, -10) -- level: peaks just over 0 dBFS
ARDOUR.LuaAPI.set_processor_param(generator, 1, ARDOUR.DSP.NoiseType.GaussianWhiteNoise)
local noise = track:bounce_range(0, rate * seconds, ARDOUR.InterThreadInfo(), generator, true, "noise")
if noise:isnil() then fail("bouncing the noise") end
track:remove_processor(generator, nil, true)
track:playlist():add_region(noise, Temporal.timepos_t(0), 1, false)
figure("noise_peak_dbfs", string.format("%.3f", ARDOUR.DSP.accurate_coefficient_to_dB(peak_of(noise))))

local plugin = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
if plugin:isnil() then fail("no LV2 plug-in " .. uri) end
if track:add_processor_by_index(plugin, 0, nil, true) ~= 0 then fail("adding the plug-in") end
figure("plugin", plugin:display_name())
local insert = plugin:to_insert()
figure("latency_isp_off", latency_once(insert, 60))

ARDOUR.LuaAPI.set_processor_param(plugin, THRESHOLD, -12)
ARDOUR.LuaAPI.set_processor_param(plugin, OUTPUT, -1)
ARDOUR.LuaAPI.set_processor_param(plugin, ISP, 1)
figure("latency_isp_on", latency_once(insert, 66))
figure("track_latency", track:signal_latency())

local limited = track:bounce_range(0, rate * seconds, ARDOUR.InterThreadInfo(), track:main_outs(), false, "limited")
if limited:isnil() then fail("bouncing through the plug-in") end
figure("bounce_samples", limited:to_audioregion():to_readable():readable_length())
figure("bounce_channels", limited:to_audioregion():n_channels())
local peak = peak_of(limited)
figure("bounce_peak", string.format("%.9f", peak))
figure("bounce_peak_dbfs", string.format("%.4f", ARDOUR.DSP.accurate_coefficient_to_dB(peak)))
figure("bounce_lag", best_lag(noise, limited))

if Session:save_state("", false, false, false, false, false) ~= 0 then fail("save_state") end
close_session()

if not load_session(dir, name) then fail("load_session " .. dir) end
local route = Session:route_by_name("Noise")
if route:isnil() then fail("track missing after reload") end
local recalled = route:nth_plugin(0)
if recalled:isnil() then fail("plug-in missing after reload") end
figure("reloaded_plugin", recalled:display_name())
local names = { [THRESHOLD] = "threshold", [OUTPUT] = "output", [FADER_LINK] = "fader_link", [ISP] = "isp_detection" }
for index = THRESHOLD, ISP do
	local ok = false
	local value = ARDOUR.LuaAPI.get_processor_param(recalled, index, ok)
	figure("recalled_" .. names[index], string.format("%.4f", value))
end
figure("reloaded_latency", latency_once(recalled:to_insert(), 66))
close_session()
figure("done", 1)
