"""Starts harrow_node (sweepmend_node) with the parameter file of one sensor.

  ros2 launch sweepmend sweepmend.launch.py                       # Livox Mid-360
  ros2 launch sweepmend sweepmend.launch.py sensor:=vanjee722     # Vanjee 722
  ros2 launch sweepmend sweepmend.launch.py params_file:=/path/my.yaml use_sim_time:=true
"""

import os

from ament_index_python.packages import get_package_share_directory
from launch import LaunchDescription
from launch.actions import DeclareLaunchArgument, OpaqueFunction
from launch.substitutions import LaunchConfiguration
from launch_ros.actions import Node

SENSORS = ('mid360', 'vanjee722')


def _node(context):
    sensor = LaunchConfiguration('sensor').perform(context)
    if sensor not in SENSORS:
        raise RuntimeError(
            "sensor must be one of %s, not '%s'" % (', '.join(SENSORS), sensor))
    params_file = LaunchConfiguration('params_file').perform(context)
    if not params_file:
        params_file = os.path.join(
            get_package_share_directory('sweepmend'), 'config', sensor + '.yaml')
    use_sim_time = LaunchConfiguration('use_sim_time').perform(context).lower() == 'true'
    return [Node(
        package='sweepmend',
        executable='sweepmend_node',
        name='harrow_node',
        output='screen',
        # The parameter files are keyed by this name.
        parameters=[params_file, {'use_sim_time': use_sim_time}],
    )]


def generate_launch_description():
    return LaunchDescription([
        DeclareLaunchArgument(
            'sensor', default_value='mid360',
            description='Sensor whose parameter file to use: ' + ' or '.join(SENSORS)),
        DeclareLaunchArgument(
            'params_file', default_value='',
            description='Parameter file to use instead of config/<sensor>.yaml'),
        DeclareLaunchArgument(
            'use_sim_time', default_value='false',
            description='Run on /clock (true when playing a bag with --clock)'),
        OpaqueFunction(function=_node),
    ])
