insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values ( '6215' , '微商店管理' , '' , 'BROW' , 'S' , NULL , '110000' , '0' , '0' , '0' , '0' , NULL ) 
GO
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values ( '6216' , '微订单业务设置' , 'w_wx_order_setup' , 'OTHR' , 'R' , NULL , '110000' , '0' , '0' , '0' , '0' , NULL ) 
GO
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values ( '6217' , '微订单查询' , 'w_wx_order_bill_querylist' , 'BROW' , 'S' , NULL , '110000' , '0' , '0' , '0' , '0' , NULL ) 
GO
insert into t_sys_menu ( menu_id , menu_name , menu_code , menu_type , open_type , open_parameter , branch_flag , normal_flag , flag1 , flag2 , flag3 , memo ) values ( '1227' , '微商店多规格商品设置' , 'w_bd_gg_form' , 'EDIT' , 'S' , NULL , '110000' , '0' , '0' , '0' , '0' , NULL ) 
GO
