-- Drives Quorl EQ (LinuxVST) in Ardour's headless Lua session with the "None (Dummy)" backend. Prints one line
io.stdout:setvbuf("no")
-- per fact for ArdourTest.cpp to check:
--   NAME <index> <name Ardour shows>
--   RANGE <index> <lower> <upper> <integer step 0/1>
--   CONTROL <index> <entry set through the control> <value the plug-in holds>
--   AUTOMATION <index> <entry on the lane where the transport rolled> <value the plug-in holds>
--   RECALLED <index> <value the plug-in holds after the session was loaded again>
--   DONE
-- The values the plug-in holds are its own answers (getParameter), which Ardour writes into the saved session.
-- Arguments: "create" or "recall", session folder, session name. "create" makes the session, checks names,
-- controls and automation and saves it with each selector at its second-to-last entry; "recall", run in a new
-- process (a second session in one Lua process does not close), loads it and reports what the plug-in holds.

local mode, folder, name = arg[1], arg[2], arg[3]
local stepped = { [0] = 6, [1] = 4, [3] = 6, [5] = 7 }

local function plugin_values()
  Session:save_state("", false, false, false, false, false)
  local file = assert(io.open(folder .. "/" .. name .. ".ardour"))
  local xml = file:read("a")
  file:close()
  local params = xml:match("<lxvst[^>]*>%s*<parameters([^>]*)/>")
  local values = {}
  for i, v in params:gmatch('param%-(%d+)="([^"]*)"') do values[tonumber(i)] = tonumber(v) end
  return values
end

local function find_plugin()
  for r in Session:get_routes():iter() do
    local proc = r:nth_plugin(0)
    if not proc:isnil() and proc:display_name() == "Quorl EQ" then return r, proc end
  end
end

local function wait_for(condition)
  for _ = 1, 500 do
    if condition() then return true end
    ARDOUR.LuaAPI.usleep(10000)
  end
  return false
end

assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy backend")
if mode == "create" then
  assert(create_session(folder, name, 48000), "cannot create the session")
  local tracks = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                         ARDOUR.TrackMode.Normal, true)
  local track = tracks:front()
  local proc = ARDOUR.LuaAPI.new_plugin(Session, "Quorl EQ", ARDOUR.PluginType.LXVST, "")
  assert(not proc:isnil(), "Ardour did not load Quorl EQ")
  assert(track:add_processor_by_index(proc, 0, nil, true) == 0, "cannot insert the plug-in")
  local plugin = proc:to_insert():plugin(0)
  print("PARAMETERS " .. plugin:parameter_count())
  for i = 0, plugin:parameter_count() - 1 do
    local _, _, desc = ARDOUR.LuaAPI.plugin_automation(proc, i)
    print(string.format("NAME %d %s", i, plugin:parameter_label(i)))
    print(string.format("RANGE %d %g %g %d", i, desc.lower, desc.upper, desc.integer_step and 1 or 0))
  end

  -- Every entry through the control, as the generic editor and the mixer strip set it.
  for i, n in pairs(stepped) do
    for k = 0, n - 1 do
      ARDOUR.LuaAPI.set_processor_param(proc, i, k)
      print(string.format("CONTROL %d %d %g", i, k, plugin_values()[i]))
    end
  end

  -- Every entry through automation: lane points at 0.2 s steps, the transport rolled briefly from each.
  local step = 9600
  for i, n in pairs(stepped) do
    local control = proc:to_automatable():automation_control(
        Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, i), false)
    local list = control:alist()
    for k = 0, n - 1 do list:add(Temporal.timepos_t(k * step), k, false, true) end
    control:set_automation_state(ARDOUR.AutoState.Play)
  end
  assert(wait_for(function() return AudioEngine:running() end), "the engine does not run")
  for k = 0, 6 do
    Session:request_locate(k * step, false, ARDOUR.LocateTransportDisposition.MustStop,
                           ARDOUR.TransportRequestSource.TRS_UI)
    wait_for(function() return Session:transport_sample() == k * step end)
    Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
    wait_for(function() return Session:transport_sample() > k * step + 960 end)
    Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
    wait_for(function() return Session:transport_stopped() end)
    local values = plugin_values()
    for i, n in pairs(stepped) do
      print(string.format("AUTOMATION %d %d %g", i, math.min(k, n - 1), values[i]))
    end
  end

  -- The session recalls what was set: automation off, each selector at its second-to-last entry.
  for i, n in pairs(stepped) do
    local control = proc:to_automatable():automation_control(
        Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, i), false)
    control:set_automation_state(ARDOUR.AutoState.Off)
    ARDOUR.LuaAPI.set_processor_param(proc, i, n - 2)
  end
  plugin_values()
  close_session()
  print("DONE")
else
  assert(load_session(folder, name), "cannot load the session")
  local _, recalled = find_plugin()
  assert(recalled, "the loaded session has no Quorl EQ")
  local values = plugin_values()
  for i, _ in pairs(stepped) do print(string.format("RECALLED %d %g", i, values[i])) end
  close_session()
  print("DONE")
end
