<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CameraRecorder</name>
    <message>
        <source>摄像头录像</source>
        <translation>Camera Recorder</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>开始录制(F3)</source>
        <translation>Start recording (F3)</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>结束录制(F4)</source>
        <translation>Stop recording (F4)</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>打开视频文件夹</source>
        <translation>Open the videos folder</translation>
    </message>
    <message>
        <source>参数</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>设置摄像头参数</source>
        <translation>Camera settings</translation>
    </message>
    <message>
        <source>选择麦克风</source>
        <translation>Choose the microphone</translation>
    </message>
    <message>
        <source>选择摄像头</source>
        <translation>Choose the camera</translation>
    </message>
    <message>
        <source>不使用麦克风</source>
        <translation>No microphone</translation>
    </message>
    <message>
        <source>默认麦克风</source>
        <translation>Default microphone</translation>
    </message>
    <message>
        <source>默认麦克风+立体声</source>
        <translation>Default microphone + stereo mix</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>系统中没有摄像头</source>
        <translation>No camera was found on this system</translation>
    </message>
    <message>
        <source>无法启动麦克风捕捉!</source>
        <translation>Cannot start capturing the microphone!</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;立体声混音&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;stereo mix&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;立体声混音设备&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;stereo mix device&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;麦克风设备&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;microphone device&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>output/摄像头-</source>
        <translation>output/摄像头-</translation>
    </message>
    <message>
        <source>录制设置</source>
        <translation>Recording settings</translation>
    </message>
</context>
<context>
    <name>DlgCamConfig</name>
    <message>
        <source>调整摄像头参数</source>
        <translation>Camera settings</translation>
    </message>
    <message>
        <source>分辨率</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>翻转摄像头</source>
        <translation>Flip the picture</translation>
    </message>
    <message>
        <source>帧率</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>帧/秒</source>
        <translation>frames/s</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>对比度</source>
        <translation>Contrast</translation>
    </message>
    <message>
        <source>饱和度</source>
        <translation>Saturation</translation>
    </message>
</context>
<context>
    <name>DlgSettings</name>
    <message>
        <source>录制设置</source>
        <translation>Recording settings</translation>
    </message>
    <message>
        <source>MPEG-4 (默认)</source>
        <translation>MPEG-4 (default)</translation>
    </message>
    <message>
        <source>H.264</source>
        <translation>H.264</translation>
    </message>
    <message>
        <source>视频编码:</source>
        <translation>Video codec:</translation>
    </message>
    <message>
        <source>25 帧/秒 (默认)</source>
        <translation>25 fps (default)</translation>
    </message>
    <message>
        <source>30 帧/秒</source>
        <translation>30 fps</translation>
    </message>
    <message>
        <source>60 帧/秒</source>
        <translation>60 fps</translation>
    </message>
    <message>
        <source>帧率:</source>
        <translation>Frame rate:</translation>
    </message>
    <message>
        <source>11025 Hz (默认)</source>
        <translation>11025 Hz (default)</translation>
    </message>
    <message>
        <source>44100 Hz</source>
        <translation>44100 Hz</translation>
    </message>
    <message>
        <source>48000 Hz</source>
        <translation>48000 Hz</translation>
    </message>
    <message>
        <source>声音采样率:</source>
        <translation>Sound sample rate:</translation>
    </message>
    <message>
        <source>默认文件夹</source>
        <translation>Default folder</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>视频文件夹:</source>
        <translation>Recordings folder:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>选择视频文件夹</source>
        <translation>Choose the recordings folder</translation>
    </message>
</context>
<context>
    <name>DlgWorkMode</name>
    <message>
        <source>桌面录像</source>
        <translation>Screen recording</translation>
    </message>
    <message>
        <source>摄像头录像</source>
        <translation>Camera recording</translation>
    </message>
    <message>
        <source>进入</source>
        <translation>Enter</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>InfoWindow</name>
    <message>
        <source>InfoWindow</source>
        <translation>Window information</translation>
    </message>
    <message>
        <source>查看录制窗口 (按ESC键关闭)</source>
        <translation>Recorded window (press Esc to close)</translation>
    </message>
    <message>
        <source>图像显示</source>
        <translation>Picture</translation>
    </message>
</context>
<context>
    <name>RecorderControls</name>
    <message>
        <source>摄像头已断开，录制已停止!</source>
        <translation>The camera was disconnected; recording stopped!</translation>
    </message>
    <message>
        <source>磁盘已满</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>磁盘已移除</source>
        <translation>the disk was removed</translation>
    </message>
    <message>
        <source>磁盘只读</source>
        <translation>the disk is read-only</translation>
    </message>
    <message>
        <source>读写错误</source>
        <translation>an input/output error</translation>
    </message>
    <message>
        <source>无法写入视频文件 (%1)，录制已停止!</source>
        <translation>Cannot write the video file (%1); recording stopped!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;立体声混音设备&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;stereo mix device&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;麦克风设备&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;microphone device&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>系统中没有发现&quot;立体声混音&quot;,可能是声卡驱动安装不正确!</source>
        <translation>No &quot;stereo mix&quot; was found on this system; the sound card driver may not be installed correctly!</translation>
    </message>
    <message>
        <source>正在录制 %1:%2:%3, %4 MB</source>
        <translation>Recording %1:%2:%3, %4 MB</translation>
    </message>
    <message>
        <source>&quot;%1&quot;在录制的前 5 秒只有静音，请检查声音设备。录制继续进行。</source>
        <translation>&quot;%1&quot; recorded only silence in the first 5 seconds: please check the sound device. The recording goes on.</translation>
    </message>
    <message>
        <source>磁盘空间不足，录制已停止!</source>
        <translation>The disk is nearly full: the recording has stopped!</translation>
    </message>
</context>
<context>
    <name>RegionOutline</name>
    <message>
        <source>录制区域</source>
        <translation>Recorded region</translation>
    </message>
</context>
<context>
    <name>ScreenRecorder</name>
    <message>
        <source>桌面录像</source>
        <translation>Screen Recorder</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>开始录制 (F3)</source>
        <translation>Start recording (F3)</translation>
    </message>
    <message>
        <source>停止录制 (F4)</source>
        <translation>Stop recording (F4)</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>开始录制(F3)</source>
        <translation>Start recording (F3)</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>结束录制(F4)</source>
        <translation>Stop recording (F4)</translation>
    </message>
    <message>
        <source>使用/停用麦克风</source>
        <translation>Use or mute the microphone</translation>
    </message>
    <message>
        <source>不使用麦克风</source>
        <translation>No microphone</translation>
    </message>
    <message>
        <source>默认麦克风</source>
        <translation>Default microphone</translation>
    </message>
    <message>
        <source>屏幕录制模式</source>
        <translation>What to record</translation>
    </message>
    <message>
        <source>全屏</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>窗口</source>
        <translation>Window</translation>
    </message>
    <message>
        <source>区域</source>
        <translation>Region</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>选择窗口或区域</source>
        <translation>Choose the window or region</translation>
    </message>
    <message>
        <source>查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>窗口或区域信息</source>
        <translation>Window or region information</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开视频文件夹</source>
        <translation>Open the videos folder</translation>
    </message>
    <message>
        <source>退出程序</source>
        <translation>Exit the program</translation>
    </message>
    <message>
        <source>屏幕录制程序</source>
        <translation>Screen recorder</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法启动桌面捕捉!</source>
        <translation>Cannot start capturing the screen!</translation>
    </message>
    <message>
        <source>无法启动麦克风捕捉!</source>
        <translation>Cannot start capturing the microphone!</translation>
    </message>
    <message>
        <source>output/屏幕录像-</source>
        <translation>output/屏幕录像-</translation>
    </message>
    <message>
        <source>录制设置...</source>
        <translation>Recording settings...</translation>
    </message>
    <message>
        <source>默认麦克风+立体声</source>
        <translation>Default microphone + stereo mix</translation>
    </message>
    <message>
        <source>录制设置</source>
        <translation>Recording settings</translation>
    </message>
    <message>
        <source>桌面拒绝了屏幕共享。</source>
        <translation>The desktop refused to share the screen.</translation>
    </message>
    <message>
        <source>Wayland 桌面录像需要桌面的 D-Bus 会话总线，但没有找到。</source>
        <translation>Screen recording on Wayland needs the desktop&apos;s D-Bus session bus, and none was found.</translation>
    </message>
    <message>
        <source>Wayland 桌面录像需要桌面的屏幕共享门户（xdg-desktop-portal 及本桌面的后端，如 xdg-desktop-portal-gnome 或 xdg-desktop-portal-kde），但它不可用。</source>
        <translation>Screen recording on Wayland needs the desktop&apos;s screen-sharing portal (xdg-desktop-portal with a back end for this desktop, such as xdg-desktop-portal-gnome or xdg-desktop-portal-kde), and it is not available.</translation>
    </message>
    <message>
        <source>屏幕共享门户没有提供 PipeWire 连接：PipeWire 是否在运行？</source>
        <translation>The screen-sharing portal gave no PipeWire connection: is PipeWire running?</translation>
    </message>
    <message>
        <source>屏幕共享门户出错，详情见日志。</source>
        <translation>The screen-sharing portal failed; the log has the details.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>另一个实例正在运行</source>
        <translation>Another copy of vidloom is already running</translation>
    </message>
</context>
</TS>
