-- Loaded by bench/preview/run.sh into the mpv program: at the end of playback, prints the frames
-- mpv showed and those it dropped (decoder and output), in the lines component_preview prints.
local played = 0
mp.register_event("end-file", function()
    local dropped = (mp.get_property_number("frame-drop-count") or 0)
        + (mp.get_property_number("decoder-frame-drop-count") or 0)
    io.stdout:write(string.format("painted %d\nmissed %d\ndue %d\n", played - dropped, dropped,
        played))
    io.stdout:flush()
end)
mp.observe_property("time-pos", "number", function(_, value)
    local rate = mp.get_property_number("container-fps")
    if value and rate then played = math.floor(value * rate + 0.5) end
end)
